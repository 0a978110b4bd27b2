#include "vexalink/setdiff.h"

#include "vexalink/paraset.h"

namespace vexalink {

namespace {

// The parameters by record word, as the parameter panel labels them.
struct ParaName {
    const char *name;
    const char *unit;
};
constexpr ParaName kParaNames[kParaWords] = {
    {"LED POWER", "/1000"},
    {"CHANNEL MODE", "(code)"},
    {"AVERAGE", "(code: 2^n values)"},
    {"EVAL MODE", "(code)"},
    {"HOLD", "ms"},
    {"INT. LIMIT", "counts"},
    {"MAXVEC-No.", "vectors"},
    {"OUTMODE", "(code)"},
    {"TRIGGER", "(code)"},
    {"EXT. TEACH", "(code)"},
    {"MAX UP", "x 10 us"},
    {"MAX DOWN", "x 10 us"},
    {"SPARE WORD 13", ""},
    {"SPARE WORD 14", ""},
    {"SPARE WORD 15", ""},
    {"SPARE WORD 16", ""},
};

std::string WithUnit(uint16_t value, const char *unit) {
    return std::to_string(value) + (*unit ? std::string(" ") + unit : "");
}

// A teach row as density, symmetry 1, symmetry 2, each with its tolerance.
std::string TeachRow(const uint16_t (&record)[kAnzPara], int row) {
    const uint16_t *v = record + kParaWords + kTeachValues * row;
    return std::to_string(v[0]) + "+-" + std::to_string(v[1]) + " / " + std::to_string(v[2]) + "+-" +
           std::to_string(v[3]) + " / " + std::to_string(v[4]) + "+-" + std::to_string(v[5]);
}

} // namespace

std::vector<SetDifference> DifferingItems(const uint16_t (&first)[kAnzPara],
                                          const uint16_t (&second)[kAnzPara]) {
    std::vector<SetDifference> items;
    for (int k = 0; k < kParaWords; ++k)
        if (first[k] != second[k])
            items.push_back({kParaNames[k].name, WithUnit(first[k], kParaNames[k].unit),
                             WithUnit(second[k], kParaNames[k].unit)});
    for (int row = 0; row < kTeachRows; ++row) {
        std::string mine = TeachRow(first, row), theirs = TeachRow(second, row);
        if (mine != theirs) items.push_back({"Teach row " + std::to_string(row), mine, theirs});
    }
    return items;
}

std::string SetDifferences(const uint16_t (&panel)[kAnzPara], const uint16_t (&other)[kAnzPara],
                           const std::string &otherName, const std::string &firstName) {
    std::string lines;
    for (const SetDifference &d : DifferingItems(panel, other))
        lines += " " + d.item + ": " + firstName + " " + d.first + ", " + otherName + " " + d.second + " \n";
    return lines;
}

} // namespace vexalink
