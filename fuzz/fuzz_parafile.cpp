// Parameter files of any content, loaded as VexaV32 loads them; a file that
// is taken must be saved and loaded back word for word, and one that is
// refused must leave the record as it was.
#include "fuzz/fuzz_support.h"
#include "vexa/parafile.h"
#include "vexa/paravars.h"
#include "vexa/program.h"

#include <algorithm>
#include <iterator>
#include <string>

using vexalink::kAnzPara;
using vexalink::ReadParaFile;
using vexalink::WriteParaFile;

using namespace vexaprogram;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string path = fuzz::WriteScratch(data, size, "Parameter.ini");
    uint16_t record[kAnzPara];
    std::fill(std::begin(record), std::end(record), 0x5A5A);
    std::string problem;
    if (!ReadParaFile(path, record, problem)) {
        FUZZ_CHECK(!problem.empty());
        FUZZ_CHECK(std::all_of(std::begin(record), std::end(record), [](uint16_t w) { return w == 0x5A5A; }));
        return 0;
    }
    std::copy(std::begin(record), std::end(record), std::begin(para.pp));
    CopyFileParatoVars();
    FUZZ_CHECK(para.paraMaxNr <= vexa.anzVec);

    const std::string copy = path + ".copy";
    FUZZ_CHECK(WriteParaFile(copy, record));
    uint16_t again[kAnzPara] = {};
    FUZZ_CHECK(ReadParaFile(copy, again, problem));
    FUZZ_CHECK(std::equal(std::begin(record), std::end(record), std::begin(again)));
    return 0;
}
