// Popups: real modal Qt dialogs, or a test's responder in their place.
#include "platform/testhooks.h"
#include "platform/userint.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {
PopupResponder responder;
std::vector<PopupRecord> recorded;

bool Answered(PopupRecord::Kind kind, const std::string &title, const std::string &text, std::string &path,
              int &result) {
    if (!responder) return false;
    PopupRecord record{kind, title, text};
    recorded.push_back(record);
    result = responder(record, path);
    return true;
}
} // namespace

void SetPopupResponder(PopupResponder r) { responder = std::move(r); }
const std::vector<PopupRecord> &RecordedPopups() { return recorded; }
void ClearRecordedPopups() { recorded.clear(); }

int MessagePopup(const std::string &title, const std::string &text) {
    std::string unused;
    int result = 0;
    if (Answered(PopupRecord::Message, title, text, unused, result)) return 0;
    if (!qApp) return UIE_NOT_INITIALISED;
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
    return 0;
}

int ConfirmPopup(const std::string &title, const std::string &text) {
    std::string unused;
    int result = 0;
    if (Answered(PopupRecord::Confirm, title, text, unused, result)) return result ? 1 : 0;
    if (!qApp) return UIE_NOT_INITIALISED;
    auto answer = QMessageBox::question(QApplication::activeWindow(), QString::fromStdString(title),
                                        QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No);
    return answer == QMessageBox::Yes ? 1 : 0;
}

int FileSelectPopup(const std::string &defaultDirectory, const std::string &defaultFileName,
                    const std::string &fileTypeList, const std::string &title, int buttonLabel,
                    int restrictDirectory, int restrictExtension, int /*allowCancel: always offered*/,
                    int allowMakeDirectory, std::string &pathName) {
    int result = VAL_NO_FILE_SELECTED;
    std::string path;
    if (Answered(PopupRecord::FileSelect, title, defaultFileName, path, result)) {
        if (result != VAL_NO_FILE_SELECTED) pathName = path;
        return result;
    }
    if (!qApp) return UIE_NOT_INITIALISED;
    QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(title),
                       QString::fromStdString(defaultDirectory));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setOption(QFileDialog::ReadOnly, allowMakeDirectory == 0);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(buttonLabel == VAL_SAVE_BUTTON ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    QString filter = QString::fromStdString(fileTypeList);
    dialog.setNameFilters(restrictExtension ? QStringList{filter} : QStringList{filter, "*"});
    dialog.selectFile(QString::fromStdString(defaultFileName));
    if (restrictDirectory) {
        QString dir = QString::fromStdString(defaultDirectory);
        QObject::connect(&dialog, &QFileDialog::directoryEntered, &dialog, [&dialog, dir](const QString &entered) {
            if (QDir(entered) != QDir(dir)) dialog.setDirectory(dir);
        });
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return VAL_NO_FILE_SELECTED;
    QString chosen = dialog.selectedFiles().first();
    if (restrictExtension && filter.startsWith("*.") && QFileInfo(chosen).suffix().isEmpty())
        chosen += filter.mid(1);
    pathName = chosen.toStdString();
    return QFileInfo::exists(chosen) ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
}
