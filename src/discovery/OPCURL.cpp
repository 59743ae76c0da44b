#include "discovery/OPCURL.h"

#include <boost/format.hpp>

#include <objbase.h>

#include "base/NumberText.h"
#include "discovery/OPCSpecification.h"
#include "base/TextConversion.h"

namespace kesti {
namespace {

// The class id of the braced text from the first "{"; a text that does not convert leaves
// whatever CLSIDFromString made of it.
void ReadClassId(const std::string& path, GUID& classId) {
    const auto brace = path.find('{');
    if (brace == std::string::npos) return;
    const std::wstring text = WideFromAnsi(path.substr(brace));
    CLSIDFromString(const_cast<LPOLESTR>(text.c_str()), &classId);
}

} // namespace

OPCURL OPCURL::Parse(const std::string& text) {
    OPCURL url;
    url.host_ = "localhost";
    std::string s = text;
    if (const auto scheme = s.find("://"); scheme != std::string::npos) {
        url.specifications_ = ParseScheme(s.substr(0, scheme));
        s.erase(0, scheme + 3);
    }
    const auto colon = s.find(':');
    const auto slash = s.find('/');
    const bool colonFirst = colon != std::string::npos && colon >= 1 && (slash == std::string::npos || slash < 1 || colon < slash);
    const auto separator = colonFirst ? colon : slash;
    if (separator == std::string::npos) {
        url.path_ = s; // no host: the class id is not read either
        return url;
    }
    url.host_ = s.substr(0, separator);
    s.erase(0, separator + 1);
    if (colonFirst) {
        const auto end = s.find('/');
        const std::string portText = s.substr(0, end);
        s = end == std::string::npos ? std::string() : s.substr(end + 1);
        url.port_ = ReadInt32(portText);
    }
    url.path_ = s;
    ReadClassId(url.path_, url.classId_);
    return url;
}

std::string OPCURL::ToString() const {
    if (port_ > 0) return (boost::format("%s://%s:%i/%s") % GetSchemeText(specifications_) % host_ % port_ % path_).str();
    return (boost::format("%s://%s/%s") % GetSchemeText(specifications_) % host_ % path_).str();
}

bool OPCURL::Equals(const OPCURL& other) const {
    return path_ == other.path_ && GetSchemeText(specifications_) == GetSchemeText(other.specifications_) &&
           host_ == other.host_ && port_ == other.port_;
}

void OPCURL::SetPath(const std::string& path) {
    path_ = path;
    ReadClassId(path_, classId_);
}

} // namespace kesti
