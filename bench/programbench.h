// What the whole-program benchmarks share: the program's files in a folder of
// its own, and the two ways of reaching the simulated sensor.
#pragma once

#include "runtime/utility.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

namespace bench {

// The serial port number the paced line is mapped to.
constexpr int kSerialPort = 5;

// One way of reaching the simulated sensor.
struct Link {
    const char *name;
    std::string settings; // ComSettings.cfg that reaches the simulated sensor
    bool paced;
};

// Copies the program's files from programDir into dir and makes dir the program
// directory; false (with a message) when a file is missing.
inline bool SetUpProgramDir(const QTemporaryDir &dir, const char *programDir,
                            std::initializer_list<const char *> files) {
    for (const char *file : files)
        if (!QFile::copy(QString(programDir) + "/" + file, dir.filePath(file))) {
            std::fprintf(stderr, "%s not found in %s: build the program first\n", file, programDir);
            return false;
        }
    runtime::SetProjectDir(dir.path().toStdString());
    return true;
}

// The sensor over loopback TCP, and behind a line paced at 19200 baud on kSerialPort.
inline std::vector<Link> SensorLinks(int tcpPort) {
    return {
        {"TCP", "1\r\n1\r\n127.0.0.1\r\n" + std::to_string(tcpPort) + "\r\n", false},
        {"paced pseudo-terminal", "0\r\n" + std::to_string(kSerialPort) + "\r\n\r\n\r\n", true},
    };
}

// Stores a link's settings where the program reads them at start-up.
inline void UseLink(const QTemporaryDir &dir, const Link &link) {
    std::ofstream(dir.filePath("ComSettings.cfg").toStdString(), std::ios::binary) << link.settings;
}

} // namespace bench
