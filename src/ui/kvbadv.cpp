#include "ui/kvbadv.h"

namespace kvb::ui {

TfrmAdvanced::TfrmAdvanced(QWidget *parent) : QDialog(parent)
{
    setObjectName("frmAdvanced");
    setWindowTitle("Advanced KVB Editor");
}

} // namespace kvb::ui
