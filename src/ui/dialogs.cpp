#include "ui/dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <exception>

namespace kvb::ui {

namespace {

// Message boxes stand in the middle of the screen, wherever their owner is.
int ExecCentred(QMessageBox &box)
{
    box.adjustSize();
    QScreen *screen = box.screen() ? box.screen() : QGuiApplication::primaryScreen();
    if (screen)
        box.move(screen->availableGeometry().center() - box.rect().center());
    return box.exec();
}

} // namespace

void TFolderMemory::ChoseFile(const QString &file)
{
    folder_ = QFileInfo(file).absolutePath();
}

void TFolderMemory::ChoseFolder(const QString &folder)
{
    folder_ = QFileInfo(folder).absoluteFilePath();
}

void QtDialogs::Notice(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, kApplicationTitle, text, QMessageBox::Ok, owner_);
    ExecCentred(box);
}

bool QtDialogs::Question(const QString &text, const QString &caption)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Yes | QMessageBox::No,
                    owner_);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return ExecCentred(box) == QMessageBox::Yes;
}

void QtDialogs::Error(const QString &text)
{
    QMessageBox box(QMessageBox::Critical, kApplicationTitle, text, QMessageBox::Ok, owner_);
    ExecCentred(box);
}

std::optional<QString> QtDialogs::RunFileDialog(const FileDialogOptions &options, bool save)
{
    QFileDialog dialog(owner_);
    if (!folders_.StartFolder().isEmpty())
        dialog.setDirectory(folders_.StartFolder());
    dialog.setNameFilter(options.filter);
    dialog.setDefaultSuffix(options.defaultSuffix);
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (!options.fileName.isEmpty())
        dialog.selectFile(options.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const QString chosen = dialog.selectedFiles().first();
    folders_.ChoseFile(chosen);
    return chosen;
}

std::optional<QString> QtDialogs::OpenFile(const FileDialogOptions &options)
{
    return RunFileDialog(options, false);
}

std::optional<QString> QtDialogs::SaveFile(const FileDialogOptions &options)
{
    return RunFileDialog(options, true);
}

std::optional<QString> QtDialogs::ChooseFolder(const QString &title)
{
    QString folder = QFileDialog::getExistingDirectory(owner_, title, folders_.StartFolder());
    if (folder.isEmpty())
        return std::nullopt;
    folders_.ChoseFolder(folder);
    return folder;
}

std::optional<QString> QtDialogs::AskText(const QString &text, const QString &caption)
{
    bool ok = false;
    QString answer = QInputDialog::getText(owner_, caption, text, QLineEdit::Normal, {}, &ok);
    if (!ok)
        return std::nullopt;
    return answer;
}

QString ErrorBoxText(const QString &message)
{
    if (!message.isEmpty() && message.back() > QChar('.'))
        return message + '.';
    return message;
}

void Guarded(Dialogs &dialogs, const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const std::exception &e) {
        dialogs.Error(ErrorBoxText(QString::fromUtf8(e.what())));
    }
}

} // namespace kvb::ui
