#include "gui/qt_ui_host.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QTextStream>
#include <QThread>
#include <QUrl>
#include <algorithm>

#include "gui/control_binding.h"

namespace {

QMessageBox::StandardButton ToQt(UiHost::Answer a) {
    switch (a) {
        case UiHost::Answer::Ok:
            return QMessageBox::Ok;
        case UiHost::Answer::Cancel:
            return QMessageBox::Cancel;
        case UiHost::Answer::Yes:
            return QMessageBox::Yes;
        case UiHost::Answer::No:
            return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon ToQt(UiHost::Icon icon) {
    switch (icon) {
        case UiHost::Icon::None:
            return QMessageBox::NoIcon;
        case UiHost::Icon::Exclamation:
            return QMessageBox::Warning;
        case UiHost::Icon::Question:
            return QMessageBox::Question;
        case UiHost::Icon::Information:
            return QMessageBox::Information;
        case UiHost::Icon::Stop:
            return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

// The source tree of a build tree, as CMake recorded it beside the program.
QString SourceDirOfBuild(const QString& buildDir) {
    QFile cache(buildDir + "/CMakeCache.txt");
    if (!cache.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QTextStream in(&cache);
    const QString key = "CMAKE_HOME_DIRECTORY:INTERNAL=";
    while (!in.atEnd()) {
        QString line = in.readLine();
        if (line.startsWith(key))
            return line.mid(key.size());
    }
    return {};
}

}  // namespace

UiHost::Answer QtUiHost::MessageBox(const std::string& text, const std::string& caption, Icon icon,
                                    Buttons buttons, Answer defaultAnswer) {
    QMessageBox box(ToQt(icon), FromLatin1(caption.empty() ? kProgramName : caption),
                    FromLatin1(text), QMessageBox::NoButton, parent_);
    QMessageBox::StandardButtons set;
    QMessageBox::StandardButton escape = QMessageBox::Ok;
    switch (buttons) {
        case Buttons::Ok:
            set = QMessageBox::Ok;
            break;
        case Buttons::OkCancel:
            set = QMessageBox::Ok | QMessageBox::Cancel;
            escape = QMessageBox::Cancel;
            break;
        case Buttons::YesNo:
            set = QMessageBox::Yes | QMessageBox::No;
            escape = QMessageBox::No;
            break;
        case Buttons::YesNoCancel:
            set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
            escape = QMessageBox::Cancel;
            break;
    }
    box.setStandardButtons(set);
    if (set.testFlag(ToQt(defaultAnswer)))
        box.setDefaultButton(ToQt(defaultAnswer));
    box.setEscapeButton(escape);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    switch (box.standardButton(box.clickedButton())) {
        case QMessageBox::Ok:
            return Answer::Ok;
        case QMessageBox::Cancel:
            return Answer::Cancel;
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            break;
    }
    // Closed some other way: the escape answer.
    return buttons == Buttons::Ok      ? Answer::Ok
           : buttons == Buttons::YesNo ? Answer::No
                                       : Answer::Cancel;
}

QStringList QtUiHost::QtFilters(const std::string& filter) {
    QStringList parts = FromLatin1(filter).split('|');
    QStringList result;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        QString patterns = parts[i + 1].trimmed();
        if (description.isEmpty() && patterns.isEmpty())
            break;
        QStringList list = patterns.split(';', Qt::SkipEmptyParts);
        for (QString& p : list) {
            p = p.trimmed();
            // "*.*" means every file, also those without a dot in their name.
            if (p == "*.*")
                p = "*";
        }
        result << description + " (" + list.join(' ') + ")";
    }
    return result;
}

std::optional<std::string> QtUiHost::FileDialog(bool save, const std::string& filter,
                                                const std::string& defaultExt) {
    QFileDialog dialog(parent_, QString(), QDir::currentPath());
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The description already names its patterns; the pattern part Qt needs stays hidden.
    // Qt's own dialog everywhere, so the filters read exactly as given on every desktop.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setNameFilters(QtFilters(filter));
    dialog.setDefaultSuffix(FromLatin1(defaultExt));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return std::nullopt;
    return QFile::encodeName(files.front()).toStdString();
}

std::optional<std::string> QtUiHost::OpenFileName(const std::string& filter,
                                                  const std::string& defaultExt) {
    return FileDialog(false, filter, defaultExt);
}

std::optional<std::string> QtUiHost::SaveFileName(const std::string& filter,
                                                  const std::string& defaultExt) {
    return FileDialog(true, filter, defaultExt);
}

void QtUiHost::ProcessPendingEvents() {
    QCoreApplication::processEvents();
}

void QtUiHost::Pause(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    for (qint64 left = milliseconds; left > 0; left = milliseconds - timer.elapsed()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(left, 20)));
    }
}

void QtUiHost::Beep() {
    QApplication::beep();
}

QString QtUiHost::HelpFile(const std::string& topic) {
    // "file.chm::/Page.htm": the page is ours as Page.html in the help folder.
    QString t = FromLatin1(topic);
    int sep = t.indexOf("::/");
    QString page = sep >= 0 ? t.mid(sep + 3) : t;
    if (page.isEmpty())
        page = "Overview.htm";
    QFileInfo pageInfo(page);
    QString name = pageInfo.completeBaseName() + ".html";

    QString exeDir = QCoreApplication::applicationDirPath();
    QStringList dirs = {exeDir + "/../share/qorwutil/help", exeDir + "/docs/help",
                        exeDir + "/../docs/help"};
    // Run from a build tree, the program or a test sits in it or one folder down.
    for (const QString& build : {exeDir, exeDir + "/.."}) {
        QString source = SourceDirOfBuild(build);
        if (!source.isEmpty())
            dirs << source + "/docs/help";
    }
    for (const QString& dir : dirs) {
        QFileInfo info(dir + "/" + name);
        if (info.isFile())
            return info.canonicalFilePath();
    }
    return {};
}

bool QtUiHost::OpenHelp(const std::string& topic) {
    QString file = HelpFile(topic);
    if (file.isEmpty())
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

std::string QtUiHost::ClipboardText() {
    return ToLatin1(QApplication::clipboard()->text());
}

void QtUiHost::SetClipboardText(const std::string& text) {
    QApplication::clipboard()->setText(FromLatin1(text));
}
