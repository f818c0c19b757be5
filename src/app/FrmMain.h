// The main window: the display selector, the three settings pages, the timers,
// the tray icon and the password lock. Handlers stay thin: the rules live in
// the core modules they call.
#pragma once

#include "MySetupData.h"
#include "MyString.h"
#include "PlayList.h"
#include "Watch.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>

#include <memory>


class RadioGroup;
class TFormClickSend;
class TFormPreview;
class IpEdit;
struct HX_Dll;
struct ConnectionParams;
struct ConnectionReport;

// The system command of a minimise request.
constexpr int SC_MINIMIZE = 0xF020;

class TFormMain : public QWidget {
    Q_OBJECT
public:
    // progPath: the program folder; link: the controller library's table.
    TFormMain(FMyString &language, const std::string &progPath, const HX_Dll &link);
    ~TFormMain() override;

    // Window-level state, in the order the other parts know it.
    QSystemTrayIcon *TrayIcon = nullptr;
    FMySetup mData;
    bool bNewConnect = false;
    bool bConnected = false;
    QImage mBmp;
    int32_t mLEDWidth = 0;
    int32_t mLEDHeight = 0;
    bool mbClickSend = false;
    uint16_t mPwdCRC = 0;
    // The watch of every display's file: its tick, its visits, each display's
    // play-list location (lastRead is mPlayListPath and mPlayListIndex) and
    // transfer status, shown by the tray icon. Made once the language is known.
    std::unique_ptr<Watch> mWatch;
    PlayListLocations &playLists() { return mWatch->playLists(); }
    TransferStatus &transferStatus() { return mWatch->status(); }
    // An initialisation run is going on: it keeps its display's controller to
    // itself, and the pages and the display list stay with its display.
    bool mInitialRunning = false;

    FMyString &m_String;
    const HX_Dll &mLink;
    LoadResult mLoadResult;

    // Top strip.
    QCheckBox *ChkAutoRun;
    QCheckBox *ChkReplay;
    QCheckBox *ChkPromptPwd;
    QLabel *StaticText20;
    QComboBox *LEDList;
    QPushButton *BtnNewConnect;
    QTabWidget *MyPage;

    // Page 0 "通讯设置".
    QWidget *TbOption;
    RadioGroup *ChkSystem;
    RadioGroup *ChkMode;
    QWidget *PnNet;
    IpEdit *sRemoteIP;
    QSpinBox *nUDPPort;
    QWidget *PnCom;
    QSpinBox *nLEDNum;
    QComboBox *nComPort;
    QComboBox *nbaudrate;
    QSpinBox *nTimeOut;
    QSpinBox *nRetry;
    QLineEdit *sLEDName;
    QPushButton *BtnSetupOK;
    QPushButton *BtnDel;

    // Page 1 "文件设置".
    QWidget *TbFile;
    QWidget *PnFile;
    QCheckBox *ChkFromFile;
    QWidget *PnAutoFile;
    QLabel *StaticText14;
    QLineEdit *sFileName;
    QPushButton *BtnSeekFile;
    QLabel *StaticText22;
    QComboBox *cbDrv;
    QLabel *StaticText15;
    QComboBox *nPeroid;
    QCheckBox *ChkTimeSend;
    QGroupBox *GroupBox1;
    QLabel *StaticText16;
    QComboBox *nEnter;
    QLabel *StaticText17;
    QComboBox *nSpeed;
    QLabel *StaticText18;
    QSpinBox *nStay;
    QLabel *StaticText19;
    QPushButton *BtnFileOK;
    QPushButton *BtnPreview;              // "预  览": what the selected display will show
    TFormPreview *FormPreview = nullptr;  // made at the first click

    // Page 2 "初 始 化".
    QWidget *TbInitial;
    QWidget *PnInitial;
    QLabel *StaticText3;
    QSpinBox *vLeft;
    QLabel *StaticText4;
    QSpinBox *vTop;
    QLabel *StaticText1;
    QSpinBox *vWidth;
    QLabel *StaticText2;
    QSpinBox *vHeight;
    QCheckBox *ChkFromPlayList;
    QPushButton *BtnReadPlayList;
    RadioGroup *nRotate90;
    QLabel *Label1;
    QLabel *MsgFntName;
    QLabel *Label2;
    QLabel *MsgFntSize;
    QPushButton *BtnFont;
    QPushButton *BtnInitialOK;
    QPushButton *BtnChgPwd;
    QProgressBar *mPB;

    // Non-visual members.
    QFont FontDlg;  // the font dialog's current font
    QTimer *TransferTimer;
    QTimer *TimerClickSend;

    // Tab rule and page gate.
    void MyPageChanging(bool &allowChange);
    void MyPageChange();
    // Makes a page active from code: neither the tab rule nor the gate runs.
    void setActivePage(int index);

    // The click-send window made by the program entry; it follows this window.
    void attachClickSend(TFormClickSend *window) { FormClickSend = window; }

    // Handles a system command; the minimise request hides the window and
    // starts the watch of every file-watching display.
    void WMSysCommand(int command);

    // Connection page.
    void BtnNewConnectClick();
    void LEDListChange();
    void ChkModeClick();
    void OnOptionChanged();
    void BtnSetupOKClick(bool fromButton);
    void BtnDelClick();
    void DataToForm(MySetupPtr record);
    // The record of the display the connection page shows, or nullptr.
    MySetupPtr selectedRecord();
    // Saves the store; a failure is told in a message box.
    bool saveSettings();
    // Runs work off the window's thread, on the controller's line as one of
    // the watch's jobs (after a visit still on it), while the window goes on;
    // its controls are disabled until work is done.
    void awaitController(const ControllerKey &key, const std::function<void()> &work);

    // File page.
    void ChkFromFileClick();
    void BtnSeekFileClick();
    void nPeroidChange();
    void BtnFileOKClick();
    void BtnPreviewClick();

    // Initialisation page.
    void ChkFromPlayListClick();
    void BtnReadPlayListClick();
    void BtnFontClick(bool fromButton);
    void BtnInitialOKClick();
    void EnableInitialItem(bool En);

    // Tray icon, password lock and autorun.
    void NotifyIconCreate();
    void NotifyIconDelete();
    void NotifyIconClick(QSystemTrayIcon::ActivationReason reason);
    // Hidden in the tray, or minimised where the desktop has no tray.
    bool isOutOfSight() const;
    // A desktop that had no tray at start is asked now and then; once a tray
    // is there the icon is made and the window goes over to it.
    void adoptLateTray();
    // Another start of the program asks for the window: it opens as from the
    // tray, checks included; true when it is open afterwards.
    bool openOnRequest();
    // Asks for the password; a wrong one is told in a message box with the caption.
    bool passwordCheck(const QString &errorCaption);
    void ChkPromptPwdClick(bool checked);
    void BtnChgPwdClick();
    void ChkAutoRunClick(bool checked);

    // Timers.
    void TransferTimerTimer();
    void TimerClickSendTimer(bool fromTimer);

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildTopStrip();
    void buildOptionPage();
    void buildFilePage();
    void buildInitialPage();
    void FormCreate(const std::string &progPath);
    void FormDestroy();
    void onPageChanged(int index);
    void storeConnectedDisplay(const ConnectionParams &params, const ConnectionReport &report);
    void fillFilePage(MySetupType &record);
    // Initialisation run: the page into the record, then libraries and
    // configuration file; "" when they were written, else the message to show.
    void storeInitialPage(MySetupType &record);
    QString generateInitialFiles(MySetupType &record);
    static QString ioFailureText(const std::string &error);

    // The click-send window follows the main window while click-send displays exist.
    void setClickSendVisible(bool visible);
    static Qt::WindowFlags mainWindowFlags(bool trayAvailable);
    void watchForLateTray();
    // Hides the window in the tray, or minimises it with its content hidden.
    void putOutOfSight();
    // The checks of an opening (the prompt setting and the password); true when
    // the window may open.
    bool openingAllowed();
    // Opens the window on page 1 when the checks pass, else puts it back out of sight.
    void openFromOutOfSight();

    TFormClickSend *FormClickSend = nullptr;
    // Every control of the window; hidden while the window is minimised
    // without a tray, so a restore shows nothing before the checks pass.
    QWidget *mClientArea = nullptr;
    QTimer *mTrayWatch = nullptr;
    // The click-send window was due while an initialisation run held the link.
    bool mClickSendDue = false;
    int mShownPage = 0;
    bool mSettingPage = false;
};
