// Handlers whose modules are still being written.
#include "FrmMain.h"
void TFormMain::ChkFromPlayListClick() {}
void TFormMain::BtnReadPlayListClick() {}
void TFormMain::BtnFontClick(bool) {}
void TFormMain::BtnInitialOKClick() {}
void TFormMain::EnableInitialItem(bool) {}
void TFormMain::TimerClickSendTimer(bool) {}
