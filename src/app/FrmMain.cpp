#include "FrmMain.h"

#include "FilePage.h"
#include "FrmDialogs.h"
#include "FrmWidgets.h"
#include "PlatformSettings.h"
#include "ProgramSetup.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>

namespace {

QLabel *label(const QString &text, QWidget *parent, int x, int y, int w = -1)
{
    auto *l = new QLabel(text, parent);
    l->move(x, y);
    if (w > 0) l->setFixedWidth(w);
    return l;
}

QSpinBox *spin(QWidget *parent, int min, int max, const QRect &geometry)
{
    auto *s = new QSpinBox(parent);
    s->setRange(min, max);
    s->setGeometry(geometry);
    return s;
}

template <typename T>
T *named(T *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

}  // namespace

TFormMain::TFormMain(FMyString &language, const std::string &progPath, const HX_Dll &link)
    : QWidget(nullptr), m_String(language), mLink(link)
{
    FormCreate(progPath);
}

TFormMain::~TFormMain()
{
    FormDestroy();
}

void TFormMain::FormCreate(const std::string &progPath)
{
    // The language is decided before any setting is read.
    m_String.InitialAll(255);
    mPwdCRC = PlatformSettings::readPassword();

    setWindowTitle(QStringLiteral("Marqora 2.1"));
    QFont windowFont(QStringLiteral("宋体"));
    windowFont.setPixelSize(12);
    setFont(windowFont);
    FontDlg = windowFont;
    FontDlg.setPointSize(12);

    setWindowIcon(programIcon());
    setWindowFlags(mainWindowFlags(PlatformSettings::hasSystemTray()));
    setFixedSize(338, 285);
    mClientArea = named(new QWidget(this), "ClientArea");
    mClientArea->setGeometry(rect());
    buildTopStrip();
    buildOptionPage();
    buildFilePage();
    buildInitialPage();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    bNewConnect = false;
    bConnected = false;
    // What a killed run left half done; only one Marqora runs in a program folder.
    removeLeftoverTemporaries(progPath);
    mLoadResult = mData.Initial(progPath);
    WatchOptions watchOptions;
    watchOptions.language = m_String.Language;
    mWatch = std::make_unique<Watch>(mData, mLink, watchOptions);
    // A visit that finished on a worker is applied here, on the window's thread.
    mWatch->setOnFinished(
        [this] { QMetaObject::invokeMethod(this, [this] { mWatch->collect(); }, Qt::QueuedConnection); });
    for (const auto &record : mData.mSetup)
        if (record.bUsed) LEDList->addItem(QString::fromStdString(displayEntryText(record)));
    LEDList->setCurrentIndex(-1);

    ChkAutoRun->setEnabled(false);
    ChkAutoRun->setChecked(PlatformSettings::GetAutoRunState());
    ChkAutoRun->setEnabled(true);

    TransferTimer = new QTimer(this);
    TransferTimer->setInterval(1000);
    connect(TransferTimer, &QTimer::timeout, this, &TFormMain::TransferTimerTimer);
    TransferTimer->start();
    TimerClickSend = new QTimer(this);
    TimerClickSend->setInterval(100);
    connect(TimerClickSend, &QTimer::timeout, this, [this] { TimerClickSendTimer(true); });
    TimerClickSend->start();

    NotifyIconCreate();
    if (!TrayIcon) watchForLateTray();

    // Every run starts out of sight: the minimise handling runs once the event loop does.
    QMetaObject::invokeMethod(this, [this] { WMSysCommand(SC_MINIMIZE); }, Qt::QueuedConnection);
    if (mLoadResult.status == LoadStatus::Damaged) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                Dialogs::message(this,
                                 QStringLiteral("显示屏设置文件已损坏, 只读入了前 %1 个记录:\n%2")
                                     .arg(mLoadResult.recordsRead)
                                     .arg(QString::fromStdString(mLoadResult.message)),
                                 QStringLiteral("错误"));
            },
            Qt::QueuedConnection);
    }
}

void TFormMain::FormDestroy()
{
    NotifyIconDelete();
}

void TFormMain::buildTopStrip()
{
    QWidget *area = mClientArea;
    ChkAutoRun = named(new QCheckBox(QStringLiteral("系统启动时运行"), area), "ChkAutoRun");
    ChkAutoRun->setGeometry(8, 6, 106, 17);
    ChkReplay = named(new QCheckBox(QStringLiteral("发送后重新播放"), area), "ChkReplay");
    ChkReplay->setGeometry(118, 6, 106, 17);
    ChkReplay->setChecked(true);
    ChkPromptPwd = named(new QCheckBox(QStringLiteral("启动提示口令"), area), "ChkPromptPwd");
    ChkPromptPwd->setGeometry(230, 6, 100, 17);
    connect(ChkAutoRun, &QCheckBox::toggled, this, &TFormMain::ChkAutoRunClick);
    connect(ChkPromptPwd, &QCheckBox::toggled, this, &TFormMain::ChkPromptPwdClick);

    StaticText20 = named(label(QStringLiteral("显示屏"), area, 8, 35), "StaticText20");
    LEDList = named(new QComboBox(area), "LEDList");
    LEDList->setGeometry(46, 31, 200, 21);
    LEDList->setMaxVisibleItems(16);
    connect(LEDList, &QComboBox::activated, this, &TFormMain::LEDListChange);
    BtnNewConnect = named(new QPushButton(QStringLiteral("新  建"), area), "BtnNewConnect");
    BtnNewConnect->setGeometry(255, 30, 75, 23);
    connect(BtnNewConnect, &QPushButton::clicked, this, &TFormMain::BtnNewConnectClick);

    MyPage = named(new QTabWidget(area), "MyPage");
    MyPage->setGeometry(0, 285 - 226, 338, 226);
    MyPage->hide();
    connect(MyPage, &QTabWidget::currentChanged, this, &TFormMain::onPageChanged);
}

void TFormMain::buildOptionPage()
{
    TbOption = named(new QWidget, "TbOption");
    MyPage->addTab(TbOption, QStringLiteral("通讯设置"));
    QWidget *page = TbOption;

    ChkSystem = named(new RadioGroup(QStringLiteral("控制器类型"), {QStringLiteral("VRX7300"), QStringLiteral("Hexalink")}, 2, page), "ChkSystem");
    ChkSystem->setGeometry(4, 2, 160, 40);
    ChkSystem->setItemIndex(0);
    ChkMode = named(new RadioGroup(QStringLiteral(" 通讯方式 "), {QStringLiteral("网络通讯"), QStringLiteral("串口通讯")}, 2, page), "ChkMode");
    ChkMode->setGeometry(170, 2, 162, 40);
    ChkMode->setItemIndex(0);
    connect(ChkMode, &RadioGroup::clicked, this, &TFormMain::ChkModeClick);

    PnNet = named(new QWidget(page), "PnNet");
    PnNet->setGeometry(4, 48, 330, 24);
    label(QStringLiteral("显示屏IP"), PnNet, 2, 5);
    sRemoteIP = named(new IpEdit(PnNet), "sRemoteIP");
    sRemoteIP->setGeometry(56, 1, 112, 21);
    sRemoteIP->setIpText(QStringLiteral("10 .1  .1  .100"));
    label(QStringLiteral("UDP端口"), PnNet, 178, 5);
    nUDPPort = named(spin(PnNet, 1024, 65535, QRect(226, 1, 74, 21)), "nUDPPort");

    PnCom = named(new QWidget(page), "PnCom");
    PnCom->setGeometry(4, 48, 330, 24);
    label(QStringLiteral("屏号"), PnCom, 2, 5);
    // Screen numbers above 999 would give entries that read back as addresses.
    nLEDNum = named(spin(PnCom, 0, 999, QRect(30, 1, 52, 21)), "nLEDNum");
    label(QStringLiteral("串口"), PnCom, 92, 5);
    nComPort = named(new QComboBox(PnCom), "nComPort");
    nComPort->setGeometry(120, 1, 66, 21);
    for (int com = 1; com <= 32; ++com) nComPort->addItem(QStringLiteral("Com%1").arg(com));
    label(QStringLiteral("速率"), PnCom, 196, 5);
    nbaudrate = named(new QComboBox(PnCom), "nbaudrate");
    nbaudrate->setGeometry(224, 1, 76, 21);
    for (const char *rate : {"  2400", "  4800", "  9600", " 19200", " 38400", " 57600", "115200"})
        nbaudrate->addItem(QString::fromLatin1(rate));
    PnCom->hide();

    label(QStringLiteral("通讯超时"), page, 6, 84);
    nTimeOut = named(spin(page, 1, 10, QRect(60, 80, 46, 21)), "nTimeOut");
    label(QStringLiteral("秒"), page, 110, 84);
    label(QStringLiteral("重试次数"), page, 182, 84);
    nRetry = named(spin(page, 1, 10, QRect(236, 80, 46, 21)), "nRetry");
    label(QStringLiteral("次"), page, 286, 84);
    label(QStringLiteral("助记名"), page, 6, 116);
    sLEDName = named(new QLineEdit(page), "sLEDName");
    sLEDName->setGeometry(60, 112, 222, 21);
    sLEDName->setReadOnly(true);
    sLEDName->setEnabled(false);

    BtnSetupOK = named(new QPushButton(QStringLiteral("确    定"), page), "BtnSetupOK");
    BtnSetupOK->setGeometry(56, 150, 90, 25);
    BtnDel = named(new QPushButton(QStringLiteral("删    除"), page), "BtnDel");
    BtnDel->setGeometry(190, 150, 90, 25);
    connect(BtnSetupOK, &QPushButton::clicked, this, [this] { BtnSetupOKClick(true); });
    connect(BtnDel, &QPushButton::clicked, this, &TFormMain::BtnDelClick);

    connect(nUDPPort, &QSpinBox::valueChanged, this, &TFormMain::OnOptionChanged);
    connect(nComPort, &QComboBox::currentIndexChanged, this, &TFormMain::OnOptionChanged);
    connect(nbaudrate, &QComboBox::currentIndexChanged, this, &TFormMain::OnOptionChanged);
    connect(nTimeOut, &QSpinBox::valueChanged, this, &TFormMain::OnOptionChanged);
    connect(nRetry, &QSpinBox::valueChanged, this, &TFormMain::OnOptionChanged);
}

void TFormMain::buildFilePage()
{
    TbFile = named(new QWidget, "TbFile");
    MyPage->addTab(TbFile, QStringLiteral("文件设置"));
    PnFile = named(new QWidget(TbFile), "PnFile");
    PnFile->setGeometry(0, 0, 334, 200);

    ChkFromFile = named(new QCheckBox(QStringLiteral("自动读文件"), PnFile), "ChkFromFile");
    ChkFromFile->setGeometry(8, 4, 100, 17);
    connect(ChkFromFile, &QCheckBox::clicked, this, &TFormMain::ChkFromFileClick);

    PnAutoFile = named(new QWidget(PnFile), "PnAutoFile");
    PnAutoFile->setGeometry(0, 24, 334, 136);
    QWidget *panel = PnAutoFile;
    StaticText14 = named(label(QStringLiteral("文件名"), panel, 8, 5), "StaticText14");
    sFileName = named(new QLineEdit(panel), "sFileName");
    sFileName->setGeometry(50, 1, 200, 21);
    sFileName->setReadOnly(true);
    BtnSeekFile = named(new QPushButton(QStringLiteral("查找文件"), panel), "BtnSeekFile");
    BtnSeekFile->setGeometry(256, 0, 72, 23);
    connect(BtnSeekFile, &QPushButton::clicked, this, &TFormMain::BtnSeekFileClick);

    StaticText22 = named(label(QStringLiteral("控制卡磁盘"), panel, 8, 32), "StaticText22");
    cbDrv = named(new QComboBox(panel), "cbDrv");
    cbDrv->setGeometry(74, 28, 50, 21);
    StaticText15 = named(label(QStringLiteral("检查周期"), panel, 134, 32), "StaticText15");
    nPeroid = named(new QComboBox(panel), "nPeroid");
    nPeroid->setGeometry(186, 28, 64, 21);
    nPeroid->setMaxVisibleItems(16);
    for (const std::string &item : periodItems()) nPeroid->addItem(QString::fromStdString(item));
    ChkTimeSend = named(new QCheckBox(QStringLiteral("定时发送"), panel), "ChkTimeSend");
    ChkTimeSend->setGeometry(258, 30, 74, 17);

    GroupBox1 = named(new QGroupBox(QStringLiteral(" 播放效果 "), panel), "GroupBox1");
    GroupBox1->setGeometry(4, 54, 326, 80);
    StaticText16 = named(label(QStringLiteral("进入方式"), GroupBox1, 8, 22), "StaticText16");
    nEnter = named(new QComboBox(GroupBox1), "nEnter");
    nEnter->setEditable(true);
    // Typed text stays text: it must not become a twelfth effect no controller knows.
    nEnter->setInsertPolicy(QComboBox::NoInsert);
    nEnter->setGeometry(60, 18, 150, 21);
    for (const char *effect : {"随机", "直接显示", "向上移入", "向左移入", "溶入", "从中心向四周展开",
                               "向下移入", "向右移入", "水平百叶窗", "垂直百叶窗", "闪烁"})
        nEnter->addItem(QString::fromUtf8(effect));
    StaticText17 = named(label(QStringLiteral("速度"), GroupBox1, 8, 54), "StaticText17");
    nSpeed = named(new QComboBox(GroupBox1), "nSpeed");
    nSpeed->setGeometry(60, 50, 70, 21);
    for (const char *speed : {"最慢", "慢", "较慢", "一般", "较快", "快", "最快"})
        nSpeed->addItem(QString::fromUtf8(speed));
    nSpeed->setCurrentIndex(3);
    StaticText18 = named(label(QStringLiteral("停留时间"), GroupBox1, 150, 54), "StaticText18");
    nStay = named(spin(GroupBox1, 0, 65535, QRect(202, 50, 70, 21)), "nStay");
    StaticText19 = named(label(QStringLiteral("秒"), GroupBox1, 276, 54), "StaticText19");

    BtnFileOK = named(new QPushButton(QStringLiteral("确           定"), PnFile), "BtnFileOK");
    BtnFileOK->setGeometry(118, 164, 100, 25);
    connect(BtnFileOK, &QPushButton::clicked, this, &TFormMain::BtnFileOKClick);
    BtnPreview = named(new QPushButton(QStringLiteral("预  览"), PnFile), "BtnPreview");
    BtnPreview->setGeometry(246, 164, 72, 25);
    connect(BtnPreview, &QPushButton::clicked, this, &TFormMain::BtnPreviewClick);

    connect(ChkTimeSend, &QCheckBox::clicked, this, &TFormMain::nPeroidChange);
    connect(nPeroid, &QComboBox::activated, this, &TFormMain::nPeroidChange);
    connect(nEnter, &QComboBox::activated, this, &TFormMain::nPeroidChange);
    connect(nEnter, &QComboBox::editTextChanged, this, &TFormMain::nPeroidChange);
    connect(nSpeed, &QComboBox::activated, this, &TFormMain::nPeroidChange);
    connect(cbDrv, &QComboBox::activated, this, &TFormMain::nPeroidChange);
    connect(nStay, &QSpinBox::valueChanged, this, &TFormMain::nPeroidChange);
}

void TFormMain::buildInitialPage()
{
    TbInitial = named(new QWidget, "TbInitial");
    MyPage->addTab(TbInitial, QStringLiteral("初 始 化"));
    PnInitial = named(new QWidget(TbInitial), "PnInitial");
    PnInitial->setGeometry(0, 0, 334, 200);
    PnInitial->setEnabled(false);
    QWidget *panel = PnInitial;

    StaticText3 = named(label(QStringLiteral("显示区水平方向起点"), panel, 8, 8), "StaticText3");
    vLeft = named(spin(panel, 0, 4032, QRect(118, 4, 52, 21)), "vLeft");
    StaticText4 = named(label(QStringLiteral("显示区垂直方向起点"), panel, 8, 34), "StaticText4");
    vTop = named(spin(panel, 0, 65535, QRect(118, 30, 52, 21)), "vTop");
    StaticText1 = named(label(QStringLiteral("显示区宽"), panel, 184, 8), "StaticText1");
    vWidth = named(spin(panel, 0, 65535, QRect(240, 4, 56, 21)), "vWidth");
    StaticText2 = named(label(QStringLiteral("显示区高"), panel, 184, 34), "StaticText2");
    vHeight = named(spin(panel, 0, 65535, QRect(240, 30, 56, 21)), "vHeight");

    ChkFromPlayList = named(new QCheckBox(QStringLiteral("从控制器当前播放的节目表中选区域"), panel), "ChkFromPlayList");
    ChkFromPlayList->setGeometry(8, 58, 230, 17);
    connect(ChkFromPlayList, &QCheckBox::clicked, this, &TFormMain::ChkFromPlayListClick);
    BtnReadPlayList = named(new QPushButton(QStringLiteral("读节目表"), panel), "BtnReadPlayList");
    BtnReadPlayList->setGeometry(244, 54, 84, 23);
    connect(BtnReadPlayList, &QPushButton::clicked, this, &TFormMain::BtnReadPlayListClick);

    nRotate90 = named(new RadioGroup(QStringLiteral(" 排列 "), {QStringLiteral("横排"), QStringLiteral("竖排")}, 2, panel), "nRotate90");
    nRotate90->setGeometry(4, 80, 130, 40);
    nRotate90->setItemIndex(0);
    Label1 = named(label(QStringLiteral("字体:"), panel, 144, 86), "Label1");
    MsgFntName = named(label(QString(), panel, 176, 86, 90), "MsgFntName");
    Label2 = named(label(QStringLiteral("大小:"), panel, 144, 104), "Label2");
    MsgFntSize = named(label(QString(), panel, 176, 104, 90), "MsgFntSize");
    BtnFont = named(new QPushButton(QStringLiteral("字  体"), panel), "BtnFont");
    BtnFont->setGeometry(266, 90, 62, 23);
    connect(BtnFont, &QPushButton::clicked, this, [this] { BtnFontClick(true); });

    BtnInitialOK = named(new QPushButton(QStringLiteral("初      始      化"), panel), "BtnInitialOK");
    BtnInitialOK->setGeometry(8, 128, 318, 25);
    connect(BtnInitialOK, &QPushButton::clicked, this, &TFormMain::BtnInitialOKClick);
    BtnChgPwd = named(new QPushButton(QStringLiteral("修改口令"), panel), "BtnChgPwd");
    BtnChgPwd->setGeometry(250, 158, 76, 23);
    connect(BtnChgPwd, &QPushButton::clicked, this, &TFormMain::BtnChgPwdClick);
    mPB = named(new ReadableProgressBar(panel), "mPB");
    mPB->setGeometry(0, 186, 334, 14);
    mPB->setTextVisible(false);
    mPB->hide();
}

void TFormMain::setActivePage(int index)
{
    mSettingPage = true;
    MyPage->setCurrentIndex(index);
    mShownPage = MyPage->currentIndex();
    mSettingPage = false;
}

void TFormMain::MyPageChanging(bool &allowChange)
{
    allowChange = !bNewConnect && bConnected;
}

// QTabWidget has no veto before a change, so a refused change is undone at
// once, before anything is painted.
void TFormMain::onPageChanged(int index)
{
    if (mSettingPage) return;
    bool allow = true;
    MyPageChanging(allow);
    if (!allow) {
        setActivePage(mShownPage);
        return;
    }
    mShownPage = index;
    MyPageChange();
}

Qt::WindowFlags TFormMain::mainWindowFlags(bool trayAvailable)
{
    // A tool window has no taskbar button; without a tray the taskbar button
    // of the minimised window is the way back.
    return Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
           Qt::WindowCloseButtonHint | (trayAvailable ? Qt::Tool : Qt::Widget);
}

void TFormMain::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::WindowStateChange) {
        const bool wasMinimized = static_cast<QWindowStateChangeEvent *>(event)->oldState() & Qt::WindowMinimized;
        if (isMinimized() && !wasMinimized) {
            // The window manager minimised us: take it as the minimise request.
            if (TrayIcon) setWindowState(windowState() & ~Qt::WindowMinimized);
            WMSysCommand(SC_MINIMIZE);
        } else if (wasMinimized && !isMinimized() && !TrayIcon && mClientArea->isHidden()) {
            // Restored from the taskbar: the opening's checks run once the
            // window manager is done, outside this event.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    // Minimised again, or opened by an earlier restore, meanwhile.
                    if (!isMinimized() && mClientArea->isHidden()) openFromOutOfSight();
                },
                Qt::QueuedConnection);
        }
    }
    QWidget::changeEvent(event);
}

void TFormMain::awaitController(const ControllerKey &key, const std::function<void()> &work)
{
    QEventLoop waiting;
    bool done = false;
    mClientArea->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    mWatch->jobs().submit(key, false, [&]() -> ControllerJobs::Apply {
        work();
        // Collected on the window's thread, inside the loop below.
        return [&] {
            done = true;
            waiting.quit();
        };
    });
    if (!done) waiting.exec();
    QApplication::restoreOverrideCursor();
    mClientArea->setEnabled(true);
}

void TFormMain::closeEvent(QCloseEvent *event)
{
    event->accept();
    QCoreApplication::quit();
}
