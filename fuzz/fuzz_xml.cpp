// XML reader: any bytes parse to a code, never a crash; accepted documents run through the
// "updversion" rule evaluation.
#include <cstddef>
#include <cstdint>
#include <string>

#include "lib/CXmlUI.h"
#include "packages/VersionRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vorn::CXmlUI xml;
    std::string text(reinterpret_cast<const char*>(data), size);
    if (xml.Parse(text) == 0) {
        vorn::EvaluateUpdateRules(xml, "KELMORA-GW-2100 V5\nbuild r2\nhw\tA1\n");
        std::string v;
        xml.GetAttribute(xml.FindElement("filecontent/rule", 1), "name", v);
    }
    return 0;
}
