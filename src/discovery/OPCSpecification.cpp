#include "discovery/OPCSpecification.h"

#include <cstring>

#include <rpc.h>

namespace kesti {
namespace {

GUID GuidFromText(const char* text) {
    UUID id{};
    if (UuidFromStringA(reinterpret_cast<RPC_CSTR>(const_cast<char*>(text)), &id) != RPC_S_OK) return GUID{};
    return id;
}

} // namespace

OPCSpecification::OPCSpecification(const GUID& categoryId, std::string name, std::uint32_t flag,
                                   std::string toolTipLine)
    : categoryId_(categoryId), name_(std::move(name)), flag_(flag), toolTipLine_(std::move(toolTipLine)) {}

OPCSpecification::OPCSpecification(const char* categoryIdText, std::string name, std::uint32_t flag,
                                   std::string toolTipLine)
    : OPCSpecification(GuidFromText(categoryIdText), std::move(name), flag, std::move(toolTipLine)) {}

bool OPCSpecification::Equals(const OPCSpecification& other) const {
    return std::memcmp(&categoryId_, &other.categoryId_, sizeof(GUID)) == 0;
}

const std::vector<OPCSpecification>& OPCSpecifications() {
    // The OPC Foundation's published server category ids (CATID_OPCAEServer10, ...).
    static const std::vector<OPCSpecification> table = {
        {"58E13251-AC87-11D1-84D5-00608CB8A7E9", "Alarms and Event 1.XX", SpecAlarmsEvents10,
         "\nAlarm and Event 1.XX Server"},
        {"A8080DA0-E23E-11D2-AFA7-00C04F539421", "Batch 1.00", SpecBatch10, "\nBatch 1.00 Server"},
        {"843DE67B-B0C9-11D4-A0B7-000102A980B1", "Batch 2.00", SpecBatch20, "\nBatch 2.00 Server"},
        {"63D5F430-CFE4-11D1-B2C8-0060083BA1FB", "Data Access 1.0a", SpecDataAccess10, "\nData Access 1.0a Server"},
        {"63D5F432-CFE4-11D1-B2C8-0060083BA1FB", "Data Access 2.XX", SpecDataAccess20, "\nData Access 2.XX Server"},
        {"CC603642-66D7-48F1-B69A-B625E73652D7", "Data Access 3.00", SpecDataAccess30, "\nData Access 3.00 Server"},
        {"A0C85BB8-4161-4FD6-8655-BB584601C9E0", "Data eXchange 1.00", SpecDataExchange10,
         "\nData eXchange 1.00 Server"},
        {"7DE5B060-E089-11D2-A5E6-000086339399", "Historical Data Access 1.XX", SpecHistoricalDataAccess10,
         "\nHistorical Data Access 1.XX Server"},
        {"3098EDA4-A006-48B2-A27F-247453959408", "XML Data Access 1.00", SpecXmlDataAccess10,
         "\nXML Data Access 1.00 Server"},
        {"EC10AFD8-9BC0-4828-B47E-B3D907F929B1", "Unified Architecture 1.00", SpecUnifiedArchitecture10,
         "\nUnified Architecture 1.00"},
    };
    return table;
}

std::string GetSchemeText(std::uint32_t s) {
    if (s & SpecHistoricalDataAccess10) return "opchda";
    if (s & (SpecDataAccess30 | SpecDataAccess20 | SpecDataAccess10)) return "opcda";
    if (s & SpecDataExchange10) return "opcdx";
    if (s & SpecAlarmsEvents10) return "opcae";
    if (s & (SpecBatch10 | SpecBatch20)) return "opcbatch";
    if (s & SpecXmlDataAccess10) return "opc.xmlda";
    if (s & SpecUnifiedArchitecture10) return "opc.http";
    return {};
}

std::uint32_t ParseScheme(const std::string& scheme) {
    if (scheme == "opcae") return SpecAlarmsEvents10;
    if (scheme == "opcbatch") return SpecBatch20;
    if (scheme == "opcda") return SpecDataAccess30;
    if (scheme == "opcdx") return SpecDataExchange10;
    if (scheme == "opchda") return SpecHistoricalDataAccess10;
    if (scheme == "opc.xmlda") return SpecXmlDataAccess10;
    if (scheme == "http" || scheme == "opc.http" || scheme == "opc.tcp") return SpecUnifiedArchitecture10;
    return 0;
}

} // namespace kesti
