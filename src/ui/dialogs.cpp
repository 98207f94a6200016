#include "ui/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include <exception>

namespace kvb::ui {

void QtDialogs::Notice(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, kApplicationTitle, text, QMessageBox::Ok, owner_);
    box.exec();
}

bool QtDialogs::Question(const QString &text, const QString &caption)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Yes | QMessageBox::No,
                    owner_);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void QtDialogs::Error(const QString &text)
{
    QMessageBox box(QMessageBox::Critical, kApplicationTitle, text, QMessageBox::Ok, owner_);
    box.exec();
}

static std::optional<QString> RunFileDialog(QWidget *owner, const FileDialogOptions &options,
                                            bool save)
{
    QFileDialog dialog(owner);
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
    return dialog.selectedFiles().first();
}

std::optional<QString> QtDialogs::OpenFile(const FileDialogOptions &options)
{
    return RunFileDialog(owner_, options, false);
}

std::optional<QString> QtDialogs::SaveFile(const FileDialogOptions &options)
{
    return RunFileDialog(owner_, options, true);
}

std::optional<QString> QtDialogs::ChooseFolder(const QString &title)
{
    QString folder = QFileDialog::getExistingDirectory(owner_, title);
    if (folder.isEmpty())
        return std::nullopt;
    return folder;
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
