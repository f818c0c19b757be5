// Handlers whose modules are still being written.
#include "FrmMain.h"
void TFormMain::ChkFromFileClick() {}
void TFormMain::BtnSeekFileClick() {}
void TFormMain::nPeroidChange() {}
void TFormMain::BtnFileOKClick() {}
void TFormMain::fillFilePage(MySetupType &) {}
void TFormMain::ChkFromPlayListClick() {}
void TFormMain::BtnReadPlayListClick() {}
void TFormMain::BtnFontClick(bool) {}
void TFormMain::BtnInitialOKClick() {}
void TFormMain::EnableInitialItem(bool) {}
void TFormMain::TransferTimerTimer() {}
void TFormMain::TimerClickSendTimer(bool) {}
