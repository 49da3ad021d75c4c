// Feeds arbitrary bytes to dissecta as a movie file and writes all three forms of its report:
// the tag walk, the bytecode and string-table readers and the report writers all meet hostile
// input here.
#include <cstddef>
#include <cstdint>
#include <sstream>

#include "Dissector.h"
#include "MemoryFile.h"
#include "Reports.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemoryFile file;
    const Dissection dissection = Dissector::Dissect(file.Fill(data, size));
    std::ostringstream reports;
    WriteTextReport(dissection, reports);
    WriteJsonReport(dissection, reports);
    WriteHtmlReport(dissection, reports);
    const size_t seen = reports.str().size();
    // Kept, so the writers are not optimised away.
    volatile size_t sink = seen;
    (void)sink;
    return 0;
}
