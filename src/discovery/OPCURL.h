#pragma once
// The address of one OPC server and its text form, scheme://host[:port]/path, which the
// configuration stores under "URL". Also one entry of an enumerated server list.
#include <cstdint>
#include <string>

#include <guiddef.h>

namespace kesti {

class OPCURL {
public:
    OPCURL() = default;
    // From the text form; the host is "localhost" unless the text names one.
    static OPCURL Parse(const std::string& text);

    std::string ToString() const;
    // Same path, scheme text, host (with case) and port.
    bool Equals(const OPCURL& other) const;

    const std::string& Host() const { return host_; }
    void SetHost(std::string host) { host_ = std::move(host); }
    std::int32_t Port() const { return port_; }
    void SetPort(std::int32_t port) { port_ = port; }
    const std::string& Path() const { return path_; }
    // The path; a "{" in it starts the braced class id, which is taken as well.
    void SetPath(const std::string& path);
    const std::string& ProgId() const { return progId_; }
    void SetProgId(std::string progId) { progId_ = std::move(progId); }
    const std::string& Description() const { return description_; }
    void SetDescription(std::string description) { description_ = std::move(description); }
    std::uint32_t Specifications() const { return specifications_; }
    void SetSpecifications(std::uint32_t specifications) { specifications_ = specifications; }
    const GUID& ClassId() const { return classId_; }

private:
    std::string description_;
    std::string host_;
    std::string path_;
    std::string progId_;
    std::int32_t port_ = 0;
    std::uint32_t specifications_ = 0;
    GUID classId_{};
};

// One server of an enumeration: the credentials it was listed with and its address.
struct OPCServerInfo {
    std::wstring userName;
    std::wstring password;
    std::wstring domain;
    OPCURL address;
};

} // namespace kesti
