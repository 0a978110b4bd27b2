#include "kelvra/equationfile.h"

#include "platform/formatio.h"

bool ReadEquationFile(const std::string &path, const PanelDesc &p, double (&values)[kMaxEquation],
                      std::string &problem) {
    const int count = EquationSize(p);
    const int read = FileToArray(path, values, count);
    if (read < 0) {
        problem = "cannot be read";
        return false;
    }
    if (read < count) {
        problem = "holds " + std::to_string(read) + " of the " + std::to_string(count) + " numbers needed";
        return false;
    }
    return true;
}
