// TfrmAdvanced: the in-place editor window.
#pragma once

#include <QDialog>

namespace kvb::ui {

class TfrmAdvanced : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAdvanced(QWidget *parent = nullptr);
};

} // namespace kvb::ui
