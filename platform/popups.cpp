// Popups: real modal Qt dialogs, or a test's responder in their place.
#include "platform/testhooks.h"
#include "platform/userint.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <QStandardPaths>
#include <algorithm>

namespace {
PopupResponder responder;
std::vector<PopupRecord> recorded;

bool Answered(PopupRecord::Kind kind, const std::string &title, const std::string &text, std::string &path,
              int &result, std::vector<std::string> buttons = {}) {
    if (!responder) return false;
    PopupRecord record{kind, title, text, {}, std::move(buttons)};
    recorded.push_back(record);
    result = responder(record, path);
    return true;
}
// The window a popup opens over: the active one, else a shown window of the program,
// so that it opens over the program even while another has the focus. Qt keeps a
// dialog on its parent's screen; the program's windows are placed on it.
QWidget *PopupParent() {
    if (QWidget *active = QApplication::activeWindow()) return active;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowType() == Qt::Window) return w;
    return nullptr;
}
// A short text makes a narrow box whose title bar cuts its title ("TCP Cl..."): the box
// is made as wide as the title and the title bar's buttons need.
void KeepTitleWhole(QMessageBox &box) {
    constexpr int kTitleBarButtons = 160;
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid) return;
    const int width = box.fontMetrics().horizontalAdvance(box.windowTitle()) + kTitleBarButtons;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
}
} // namespace

void SetPopupResponder(PopupResponder r) {
    responder = std::move(r);
}
const std::vector<PopupRecord> &RecordedPopups() {
    return recorded;
}
void ClearRecordedPopups() {
    recorded.clear();
}

int MessagePopup(const std::string &title, const std::string &text) {
    std::string unused;
    int result = 0;
    if (Answered(PopupRecord::Message, title, text, unused, result)) return 0;
    if (!qApp) return UIE_NOT_INITIALISED;
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::Ok, PopupParent());
    KeepTitleWhole(box);
    box.exec();
    return 0;
}

int ConfirmPopup(const std::string &title, const std::string &text) {
    std::string unused;
    int result = 0;
    if (Answered(PopupRecord::Confirm, title, text, unused, result)) return result ? 1 : 0;
    if (!qApp) return UIE_NOT_INITIALISED;
    auto answer = QMessageBox::question(PopupParent(), QString::fromStdString(title),
                                        QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No);
    return answer == QMessageBox::Yes ? 1 : 0;
}

int GenericMessagePopup(const std::string &title, const std::string &text, const std::string &button1,
                        const std::string &button2, const std::string &button3) {
    std::vector<std::string> labels{button1, button2};
    if (!button3.empty()) labels.push_back(button3);
    const int escape = static_cast<int>(labels.size());
    std::string unused;
    int result = 0;
    if (Answered(PopupRecord::Generic, title, text, unused, result, labels))
        return result >= 1 && result <= escape ? result : escape;
    if (!qApp) return UIE_NOT_INITIALISED;
    QMessageBox box(QMessageBox::Question, QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::NoButton, PopupParent());
    std::vector<QPushButton *> buttons;
    for (const std::string &label : labels)
        buttons.push_back(box.addButton(QString::fromStdString(label), QMessageBox::ActionRole));
    // Enter and Escape both take the last button, the one that loses nothing.
    box.setDefaultButton(buttons.back());
    box.setEscapeButton(buttons.back());
    KeepTitleWhole(box);
    box.exec();
    const auto chosen = std::find(buttons.begin(), buttons.end(), box.clickedButton());
    return chosen == buttons.end() ? escape : static_cast<int>(chosen - buttons.begin()) + 1;
}

namespace {

// Where the next file dialog opens: the folder of the file opened last, or of the
// last save that worked. A file chosen for saving counts once it has been written
// (a save that failed, in a folder without room or rights, is no place to return to).
std::string lastFolder;
struct ChosenForSaving {
    QString path;
    QDateTime at;
} chosenForSaving;

// Takes the folder of the file chosen for saving, when the save has written it.
void NoteSaveOutcome() {
    if (chosenForSaving.path.isEmpty()) return;
    const QFileInfo file(chosenForSaving.path);
    // File times may be kept to the second.
    if (file.exists() && file.lastModified().toSecsSinceEpoch() >= chosenForSaving.at.toSecsSinceEpoch())
        lastFolder = file.absolutePath().toStdString();
    chosenForSaving = {};
}

QString ButtonText(int buttonLabel) {
    switch (buttonLabel) {
    case VAL_SAVE_BUTTON:
        return QObject::tr("Save");
    case VAL_SELECT_BUTTON:
        return QObject::tr("Select");
    case VAL_LOAD_BUTTON:
        return QObject::tr("Load");
    default:
        return QObject::tr("OK");
    }
}

// The file list's sizes, types and dates in English, as the dialog's labels and the
// programs' messages are, whatever the desktop's language (the file model would
// write "1,5 KB", "Textdokument" and "08.12.26 13:45" in a German desktop).
class EnglishFileDetails : public QIdentityProxyModel {
  public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex &index, int role) const override {
        auto *files = qobject_cast<QFileSystemModel *>(sourceModel());
        if (role != Qt::DisplayRole || index.column() < 1 || index.column() > 3 || !files)
            return QIdentityProxyModel::data(index, role);
        const QFileInfo info = files->fileInfo(mapToSource(index));
        static const QLocale english(QLocale::English, QLocale::UnitedStates);
        switch (index.column()) {
        case 1:
            return info.isDir()
                       ? QString()
                       : english.formattedDataSize(info.size(), 1, QLocale::DataSizeTraditionalFormat);
        case 2:
            return info.isDir()              ? QObject::tr("Folder")
                   : info.suffix().isEmpty() ? QObject::tr("File")
                                             : QObject::tr("%1 File").arg(info.suffix().toUpper());
        default:
            return english.toString(info.lastModified(), QLocale::ShortFormat);
        }
    }
};

// One showing of the file dialog, or the test responder in its place.
int AskForFile(const std::string &directory, const std::string &defaultFileName,
               const std::string &fileTypeList, const std::string &title, int buttonLabel,
               int restrictDirectory, int restrictExtension, int allowMakeDirectory, std::string &pathName) {
    int result = VAL_NO_FILE_SELECTED;
    std::string path;
    if (responder) {
        PopupRecord record{PopupRecord::FileSelect, title, defaultFileName, directory, {}};
        recorded.push_back(record);
        result = responder(record, path);
        if (result != VAL_NO_FILE_SELECTED) pathName = path;
        return result;
    }
    if (!qApp) return UIE_NOT_INITIALISED;
    QFileDialog dialog(PopupParent(), QString::fromStdString(title), QString::fromStdString(directory));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    dialog.setProxyModel(new EnglishFileDetails(&dialog));
    dialog.setOption(QFileDialog::DontConfirmOverwrite); // asked by FileSaveSelectPopup, dialog or not
    dialog.setOption(QFileDialog::ReadOnly, allowMakeDirectory == 0);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(buttonLabel == VAL_SAVE_BUTTON ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setLabelText(QFileDialog::Accept, ButtonText(buttonLabel));
    QString filter = QString::fromStdString(fileTypeList);
    dialog.setNameFilters(restrictExtension ? QStringList{filter} : QStringList{filter, "*"});
    dialog.selectFile(QString::fromStdString(defaultFileName));
    if (restrictDirectory) {
        QString dir = QString::fromStdString(directory);
        QObject::connect(&dialog, &QFileDialog::directoryEntered, &dialog,
                         [&dialog, dir](const QString &entered) {
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

// Whether a folder lies in a hidden one (a settings folder such as ~/.config).
bool IsHidden(const QString &folder) {
    const QStringList parts = QDir::cleanPath(QDir(folder).absolutePath()).split('/', Qt::SkipEmptyParts);
    return std::any_of(parts.begin(), parts.end(), [](const QString &part) { return part.startsWith('.'); });
}

// Where a user's own files are: the documents folder, or home when there is none.
std::string UserFilesFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return (!documents.isEmpty() && QDir(documents).exists() ? documents : QDir::homePath()).toStdString();
}

int ChooseFile(bool forSaving, const std::string &defaultDirectory, const std::string &defaultFileName,
               const std::string &fileTypeList, const std::string &title, int buttonLabel,
               int restrictDirectory, int restrictExtension, int allowMakeDirectory, std::string &pathName) {
    NoteSaveOutcome();
    const bool useLast =
        !restrictDirectory && !lastFolder.empty() && QDir(QString::fromStdString(lastFolder)).exists();
    std::string directory = useLast ? lastFolder : defaultDirectory;
    // An installed copy's program folder is read-only, and its settings live in a hidden
    // folder: the user's files belong with the user's documents.
    const QString folder = QString::fromStdString(directory);
    if (!useLast && !restrictDirectory && (!QFileInfo(folder).isWritable() || IsHidden(folder)))
        directory = UserFilesFolder();
    std::string fileName = defaultFileName;
    for (;;) {
        std::string path;
        const int result = AskForFile(directory, fileName, fileTypeList, title, buttonLabel,
                                      restrictDirectory, restrictExtension, allowMakeDirectory, path);
        if (result <= VAL_NO_FILE_SELECTED) return result;
        const QFileInfo chosen(QString::fromStdString(path));
        if (forSaving && chosen.exists() &&
            ConfirmPopup("Replace file?", "\"" + chosen.fileName().toStdString() + "\" already exists in\n" +
                                              chosen.absolutePath().toStdString() +
                                              ".\nDo you want to replace it?") != 1) {
            // No: choose again, where the user was.
            directory = chosen.absolutePath().toStdString();
            fileName = chosen.fileName().toStdString();
            continue;
        }
        if (forSaving)
            chosenForSaving = {chosen.absoluteFilePath(), QDateTime::currentDateTime()};
        else
            lastFolder = chosen.absolutePath().toStdString();
        pathName = path;
        return result;
    }
}

} // namespace

int FileSelectPopup(const std::string &defaultDirectory, const std::string &defaultFileName,
                    const std::string &fileTypeList, const std::string &title, int buttonLabel,
                    int restrictDirectory, int restrictExtension, int /*allowCancel: always offered*/,
                    int allowMakeDirectory, std::string &pathName) {
    return ChooseFile(false, defaultDirectory, defaultFileName, fileTypeList, title, buttonLabel,
                      restrictDirectory, restrictExtension, allowMakeDirectory, pathName);
}

int FileSaveSelectPopup(const std::string &defaultDirectory, const std::string &defaultFileName,
                        const std::string &fileTypeList, const std::string &title, int buttonLabel,
                        int restrictDirectory, int restrictExtension, int /*allowCancel: always offered*/,
                        int allowMakeDirectory, std::string &pathName) {
    return ChooseFile(true, defaultDirectory, defaultFileName, fileTypeList, title, buttonLabel,
                      restrictDirectory, restrictExtension, allowMakeDirectory, pathName);
}

void ForgetLastFileFolder() {
    lastFolder.clear();
    chosenForSaving = {};
}
