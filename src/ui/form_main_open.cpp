// Opening a hit: a double click or Enter in the grid, and the choice of the
// external viewer.
#include "ui/form_main.h"

namespace fretfile {

void TFormMain::DBGrid1DblClick() {}

void TFormMain::StringGridKeyUp(int key) {
  if (key == 13) DBGrid1DblClick();
}

void TFormMain::InternalViewer1Click() {}

}  // namespace fretfile
