#include "ui/dialogs.h"

#include <algorithm>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kvb::ui {

namespace {

QString Q(const std::string &text)
{
    return QString::fromStdString(text);
}

// Message boxes are wide enough for their whole title. Owned by the window the user works in,
// they stand over it (in the middle of the screen when there is none).
int ExecCentred(QMessageBox &box)
{
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout())) {
        // Room for the title, its frame's buttons and the window manager's margins.
        const int title = QFontMetrics(QApplication::font("QMdiSubWindowTitleBar"))
                              .horizontalAdvance(box.windowTitle());
        grid->addItem(new QSpacerItem(title + 120, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    return box.exec();
}

} // namespace

QWidget *QtDialogs::Owner() const
{
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget *active = QApplication::activeWindow())
        return active;
    return owner_;
}

QString QtFilter(const std::string &filter)
{
    const QStringList parts = Q(filter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString &pattern : parts[i + 1].split(';')) {
            if (pattern == "*.*") {
                patterns << "*";
                continue;
            }
            patterns << pattern;
            if (pattern.toLower() != pattern)
                patterns << pattern.toLower();
            else if (pattern.toUpper() != pattern)
                patterns << pattern.toUpper();
        }
        filters << parts[i] + " (" + patterns.join(' ') + ")";
    }
    return filters.join(";;");
}

void QtDialogs::Notice(const std::string &text)
{
    QMessageBox box(QMessageBox::NoIcon, Q(logic::kApplicationTitle), Q(text), QMessageBox::Ok, Owner());
    ExecCentred(box);
}

bool QtDialogs::Question(const std::string &text, const std::string &caption)
{
    QMessageBox box(QMessageBox::NoIcon, Q(caption), Q(text), QMessageBox::Yes | QMessageBox::No,
                    Owner());
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return ExecCentred(box) == QMessageBox::Yes;
}

logic::TAnswer QtDialogs::QuestionWithCancel(const std::string &text, const std::string &caption)
{
    QMessageBox box(QMessageBox::NoIcon, Q(caption), Q(text),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, Owner());
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (ExecCentred(box)) {
    case QMessageBox::Yes: return logic::TAnswer::Yes;
    case QMessageBox::No: return logic::TAnswer::No;
    default: return logic::TAnswer::Cancel;
    }
}

void QtDialogs::Error(const std::string &text)
{
    QMessageBox box(QMessageBox::Critical, Q(logic::kApplicationTitle), Q(text), QMessageBox::Ok,
                    Owner());
    ExecCentred(box);
}

std::optional<std::string> QtDialogs::RunFileDialog(const logic::TFileDialog &options, bool save)
{
    QFileDialog dialog(Owner());
    if (!options.Folder.empty())
        dialog.setDirectory(Q(options.Folder));
    else if (!folders_.StartFolder().empty())
        dialog.setDirectory(Q(folders_.StartFolder()));
    dialog.setNameFilter(QtFilter(options.Filter));
    dialog.setDefaultSuffix(Q(options.DefaultExtension));
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (!options.FileName.empty())
        dialog.selectFile(Q(options.FileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const std::string chosen = dialog.selectedFiles().first().toStdString();
    if (options.Folder.empty())
        folders_.ChoseFile(chosen);
    return chosen;
}

std::optional<std::string> QtDialogs::OpenFile(const logic::TFileDialog &dialog)
{
    return RunFileDialog(dialog, false);
}

std::optional<std::string> QtDialogs::SaveFile(const logic::TFileDialog &dialog)
{
    return RunFileDialog(dialog, true);
}

std::optional<std::string> QtDialogs::ChooseFolder(const std::string &title)
{
    const QString folder =
        QFileDialog::getExistingDirectory(Owner(), Q(title), Q(folders_.StartFolder()));
    if (folder.isEmpty())
        return std::nullopt;
    folders_.ChoseFolder(folder.toStdString());
    return folder.toStdString();
}

std::optional<std::string> QtDialogs::AskText(const std::string &text, const std::string &caption)
{
    bool ok = false;
    const QString answer =
        QInputDialog::getText(Owner(), Q(caption), Q(text), QLineEdit::Normal, {}, &ok);
    if (!ok)
        return std::nullopt;
    return answer.toStdString();
}

bool QtDialogs::ConfirmList(const logic::TListQuestion &question)
{
    QDialog box(Owner());
    box.setObjectName("dlgConfirmList");
    box.setWindowTitle(Q(question.Caption));
    auto *layout = new QVBoxLayout(&box);
    auto *text = new QLabel(Q(question.Text), &box);
    text->setWordWrap(true);
    text->setTextFormat(Qt::PlainText);
    layout->addWidget(text);

    auto *list = new QTreeWidget(&box);
    list->setObjectName("lstConfirm");
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    QStringList headers;
    for (const std::string &column : question.Columns)
        headers << Q(column);
    list->setHeaderLabels(headers);
    QList<QTreeWidgetItem *> rows;
    for (const std::vector<std::string> &row : question.Rows) {
        QStringList cells;
        for (const std::string &cell : row)
            cells << Q(cell);
        rows << new QTreeWidgetItem(cells);
    }
    list->addTopLevelItems(rows);
    for (int column = 0; column < list->columnCount(); ++column)
        list->resizeColumnToContents(column);
    layout->addWidget(list, 1);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &box);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    layout->addWidget(buttons);
    // Wide enough for the columns, within the screen; OK has the focus, as Enter's button.
    const int columns = list->header()->length() + 2 * list->frameWidth() + 40;
    box.resize(std::max(520, std::min(columns, 1000)), 420);
    buttons->button(QDialogButtonBox::Ok)->setFocus();
    return box.exec() == QDialog::Accepted;
}

} // namespace kvb::ui
