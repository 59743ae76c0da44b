#pragma once
// The OPC specifications a server can implement: the component category under which such
// servers register, a display name and one flag bit of a server's specification set.
#include <cstdint>
#include <string>
#include <vector>

#include <guiddef.h>

namespace kesti {

enum OPCSpecificationFlag : std::uint32_t {
    SpecAlarmsEvents10 = 0x001,
    SpecBatch10 = 0x002,
    SpecBatch20 = 0x004,
    SpecDataAccess10 = 0x008,
    SpecDataAccess20 = 0x010,
    SpecDataAccess30 = 0x020,
    SpecDataExchange10 = 0x040,
    SpecHistoricalDataAccess10 = 0x080,
    SpecXmlDataAccess10 = 0x100,
    SpecUnifiedArchitecture10 = 0x200,
};

class OPCSpecification {
public:
    OPCSpecification(const GUID& categoryId, std::string name, std::uint32_t flag, std::string toolTipLine);
    // From a category id text without braces; a text that does not convert gives the nil GUID.
    OPCSpecification(const char* categoryIdText, std::string name, std::uint32_t flag, std::string toolTipLine);

    bool Equals(const OPCSpecification& other) const; // same category id
    const std::string& GetName() const { return name_; }
    const GUID& CategoryId() const { return categoryId_; }
    std::uint32_t Flag() const { return flag_; }
    // The line of a server's tool tip in the data-source dialog.
    const std::string& ToolTipLine() const { return toolTipLine_; }

private:
    GUID categoryId_;
    std::string name_;
    std::uint32_t flag_;
    std::string toolTipLine_;
};

// The ten specifications, in the order of the category queries.
const std::vector<OPCSpecification>& OPCSpecifications();

// The address scheme of a specification set ("opchda", "opcda", ...; empty for none).
std::string GetSchemeText(std::uint32_t specifications);
// The specification set of a scheme (exact, with case); 0 for an unknown scheme.
std::uint32_t ParseScheme(const std::string& scheme);

} // namespace kesti
