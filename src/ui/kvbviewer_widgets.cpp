// The main window's widgets, built in the order they stand, top to bottom.
#include "ui/kvbviewer.h"

#include "ui/entry_list.h"
#include "ui/form_helpers.h"
#include "ui/link_label.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace kvb::ui {

void TfrmKVBEditor::CreateButtons(QVBoxLayout *layout)
{
    auto button = [this](const char *name, const char *text) {
        auto *b = new QPushButton(text, controls_);
        b->setObjectName(name);
        PressOnEnter(b);
        return b;
    };
    btnOpen = button("btnOpen", "Open KVB");
    btnExtract = button("btnExtract", "Extract");
    btnExtractAll = button("btnExtractAll", "Extract all");
    btnCreate = button("btnCreate", "Create KVB");
    btnAnalyse = button("btnAnalyse", "Analyse KVB");
    btnAdvanced = button("btnAdvanced", "Advanced...");
    auto *row = new QHBoxLayout;
    row->setSpacing(4);
    for (QWidget *w : {btnOpen, btnExtract, btnExtractAll})
        row->addWidget(w);
    layout->addLayout(row);
}

void TfrmKVBEditor::CreateLists(QVBoxLayout *layout)
{
    lstFiles = new TEntryList(controls_);
    SetUpReportList(lstFiles, "lstFiles",
                    {{"Filename", 100}, {"Table start", 75}, {"File length", 75}});
    lstFiles->setMinimumHeight(150);
    layout->addWidget(lstFiles, 3);

    // The info lines hold the analysis report too: they grow with the window.
    lstInfo = InfoList(controls_);
    lstInfo->setMinimumHeight(80);
    layout->addWidget(lstInfo, 1);

    auto *row = new QHBoxLayout;
    row->setSpacing(4);
    for (QWidget *w : {btnCreate, btnAnalyse, btnAdvanced})
        row->addWidget(w);
    layout->addLayout(row);

    cmbList = new QComboBox(controls_);
    cmbList->setObjectName("cmbList");
    cmbList->setEditable(false);
    // A list with a scroll bar, not a menu as tall as the screen, for archives of many blocks.
    cmbList->setStyleSheet("combobox-popup: 0;");
    cmbList->setMaxVisibleItems(20);
    layout->addWidget(cmbList);
}

void TfrmKVBEditor::CreateNotes(QVBoxLayout *layout)
{
    Label5 = new QLabel("The editor can only display 1,000 (!) files at once. Archives with more "
                        "files in them are split up into 1,000 file 'blocks'.",
                        controls_);
    Label5->setObjectName("Label5");
    Label5->setAlignment(Qt::AlignHCenter);
    Label5->setWordWrap(true);
    layout->addWidget(Label5);

    chkFullRead = new QCheckBox("Read lengths (slower loading when on)", controls_);
    chkFullRead->setObjectName("chkFullRead");
    chkFullRead->setChecked(true);
    layout->addWidget(chkFullRead);

    auto linkRow = [&](QLabel *&label, const char *labelName, const char *text, TLinkLabel *&link,
                       const char *linkName, const char *linkText) {
        label = new QLabel(text, controls_);
        label->setObjectName(labelName);
        link = new TLinkLabel(linkText, controls_);
        link->setObjectName(linkName);
        auto *row = new QHBoxLayout;
        row->addWidget(label);
        row->addWidget(link);
        row->addStretch();
        layout->addLayout(row);
    };
    linkRow(Label1, "Label1", "Questions or bug reports: ", Label3, "Label3", "Mail Tarnwick");
    linkRow(Label2, "Label2", "Check for updates at ", Label4, "Label4", "Tarnwick's website");
}

void TfrmKVBEditor::CreateStatus(QVBoxLayout *layout)
{
    lblStatus = new QLabel(centralWidget());
    lblStatus->setObjectName("lblStatus");
    lblStatus->setWordWrap(true);
    layout->addWidget(lblStatus);

    Status = new QProgressBar(centralWidget());
    Status->setObjectName("Status");
    Status->setRange(0, 100);
    Status->setValue(0);
    Status->setTextVisible(false);
    Status->setFixedHeight(16);
    btnCancel = new QPushButton("Cancel", centralWidget());
    btnCancel->setObjectName("btnCancel");
    btnCancel->setEnabled(false);
    auto *row = new QHBoxLayout;
    row->setSpacing(4);
    row->addWidget(Status, 1);
    row->addWidget(btnCancel);
    layout->addLayout(row);
}

} // namespace kvb::ui
