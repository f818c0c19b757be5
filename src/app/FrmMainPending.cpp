// Handlers whose modules are still being written.
#include "FrmMain.h"
void TFormMain::BtnReadPlayListClick() {}
void TFormMain::TimerClickSendTimer(bool) {}
