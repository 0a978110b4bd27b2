#include "gateway/bdseq.h"

#include <QSaveFile>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace gateway {

BdSeqStore::BdSeqStore(std::string folder) {
    if (folder.empty()) return;
    m_path = folder + "/sparkplug-bdseq";
    std::ifstream in(m_path);
    int last = -1;
    // A file that is missing or damaged starts over at 0, as a first start does.
    if (in >> last && last >= 0 && last <= 255) m_next = (last + 1) % 256;
}

bool BdSeqStore::use(std::string &problem) {
    const int used = m_next;
    m_next = (used + 1) % 256;
    if (m_path.empty()) return true;
    QSaveFile file(QString::fromStdString(m_path));
    const QByteArray text = QByteArray::number(used) + "\n";
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        problem = m_path + ": " + file.errorString().toStdString();
        return false;
    }
    return true;
}

std::string CheckWritableFolder(const std::string &path) {
    struct stat info = {};
    if (stat(path.c_str(), &info) != 0) return path + ": " + strerrordesc_np(errno);
    if (!S_ISDIR(info.st_mode)) return path + " is not a folder";
    if (access(path.c_str(), W_OK | X_OK) != 0) return path + " is not writable: " + strerrordesc_np(errno);
    return {};
}

} // namespace gateway
