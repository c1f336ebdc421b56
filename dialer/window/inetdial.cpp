#include "dialer/window/inetdial.h"

#include "common/dialmsg.h"
#include "common/strs.h"
#include "dialer/controls/nprop.h"
#include "dialer/controls/orvctrls.h"
#include "dialer/controls/orvwave.h"
#include "dialer/phones.h"
#include "dialer/ras/velrascon.h"
#include "dialer/ras/velrasper.h"
#include "dialer/service.h"
#include "platform/app.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/ui/trayhost.h"
#include "platform/ui/widgets.h"
#include "tray/trayshell.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolButton>

#include <algorithm>
#include <array>
#include <chrono>
#include <limits>
#include <thread>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }
AnsiString cp(const char* utf8) { return codepage::fromUtf8(utf8); }
QString fromAnsi(std::string_view s) { return codepage::toUnicode(s); }

template <class W>
W* named(W* w, const char* name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLabel* label(QWidget* parent, const char* name, const char* text, QRect place,
              Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter)
{
    auto* l = named(new QLabel(u(text), parent), name);
    l->setGeometry(place);
    l->setAlignment(align);
    return l;
}

QToolButton* toolButton(QWidget* parent, const char* name, const char* hint, QRect place)
{
    auto* b = named(new QToolButton(parent), name);
    b->setGeometry(place);
    b->setToolTip(u(hint));
    b->setAutoRaise(true);
    return b;
}

// Form geometry (client co-ordinates, pixels). The window is as wide as the
// design, or wider where the font needs it (the traffic group and the status
// bar hold their widest texts).
constexpr int kClientWidth = 332;
constexpr int kTopHeight = 164;     // gbEntries and gbPhones
constexpr int kEntriesWidth = 176;  // gbEntries; gbPhones takes the rest
constexpr int kLineTop = 36;        // bLine in gbStat
constexpr int kTraficHeight = 62;
constexpr int kStatusHeight = 130;  // gbStatus
constexpr int kBarHeight = 20;      // slStatus

// The columns of a traffic row, left to right (pixels): its caption, the
// total, the unit "B", the rate, the unit "CPS" and the graph; 2 pixels
// between the total and "B", the rate and "CPS", "CPS" and the graph. Each
// is the design's width, or wider to hold its widest text: both captions;
// for the rate, the largest the counters give; for a total, twelve digits
// (a connection's traffic stays below a terabyte).
struct TTrafficColumns {
    int Caption = 70, Total = 72, Bytes = 12, Speed = 52, Cps = 26, Graph = 70;
    int GroupWidth() const { return 8 + Caption + Total + 2 + Bytes + Speed + 2 + Cps + 2 + Graph + 8; }
};

TTrafficColumns trafficColumns(const QFontMetrics& fm)
{
    auto fit = [&](int design, std::initializer_list<QString> texts) {
        int w = design;
        for (const QString& t : texts) w = std::max(w, fm.horizontalAdvance(t) + 2);
        return w;
    };
    const AnsiString widestRate = GroupedNumber(std::numeric_limits<uint32_t>::max());
    const AnsiString widestTotal = " 888" + GroupedNumber(888888888);
    TTrafficColumns c;
    c.Caption = fit(c.Caption, {u("Получено:"), u("Отправлено:")});
    c.Total = fit(c.Total, {fromAnsi(widestTotal)});
    c.Bytes = fit(c.Bytes, {u("B")});
    c.Speed = fit(c.Speed, {fromAnsi(widestRate)});
    c.Cps = fit(c.Cps, {u("CPS")});
    return c;
}

// The status bar's panels (speed, client address, number dialled, time on
// line): the design's widths, or wider to hold their widest usual texts with
// 8 pixels to spare: a six-digit speed, a full IPv4 address, an eleven-digit
// (long-distance) number, the longest time on line.
std::array<int, 4> panelWidths(const QFontMetrics& fm)
{
    const QString widest[4] = {fromAnsi(SpeedText(999999)), u("255.255.255.255"), u("88888888888"),
                               fromAnsi(SecsToStr(kDayWrap))};
    std::array<int, 4> widths = {90, 90, 65, 65};
    for (size_t i = 0; i < widths.size(); ++i) widths[i] = std::max(widths[i], fm.horizontalAdvance(widest[i]) + 8);
    return widths;
}

// Images of the menu's items.
enum { imDial = 5, imHangUp = 6, imExit = 7, imRestore = 8, imHide = 9, imEntries = 10, imOptions = 11 };

QIcon image(const QWidget* w, int index)
{
    QStyle::StandardPixmap p = QStyle::SP_CustomBase;
    switch (index) {
    case imDial: p = QStyle::SP_MediaPlay; break;
    case imHangUp: p = QStyle::SP_MediaStop; break;
    case imExit: p = QStyle::SP_DialogCloseButton; break;
    case imRestore: p = QStyle::SP_TitleBarNormalButton; break;
    case imHide: p = QStyle::SP_TitleBarMinButton; break;
    case imEntries: p = QStyle::SP_DirIcon; break;
    case imOptions: p = QStyle::SP_FileDialogDetailedView; break;
    default: return {};
    }
    return w->style()->standardIcon(p);
}

}  // namespace

// ---- creation ----------------------------------------------------------------

// What the road asks of the window and of the service.
class TIDial::TRoadHost final : public TDialRoadHost {
public:
    explicit TRoadHost(TIDial& Dial) : d(Dial) {}

    std::vector<bool> CheckedNumbers() const override
    {
        std::vector<bool> checked;
        for (int i = 0; i < d.lbNumbers->count(); ++i) checked.push_back(d.NumberChecked(i));
        return checked;
    }
    int SelectedNumber() const override { return d.SelectedNumber(); }
    void SelectNumber(int Row) override
    {
        d.SelectNumber(Row);
        d.EDNumbers();
    }
    bool EntryReady() const override { return d.cbEntries->currentIndex() >= 0 && !d.CurrentEntry.empty(); }

    void Pause(int Ms) override { d.Sleep(Ms); }
    int StartAttempt(ras::HRASCONN& Handle) override
    {
        const AnsiString number = LeftStr(d.NumberText(d.SelectedNumber()), 255);
        d.slPanels[2]->setText(fromAnsi(number));
        d.AddLog(cp("Подготовка к соединению с ") + d.CurrentEntry);
        d.DialEnabled(false);
        d.VelRasCon->UserName = codepage::fromUnicode(d.eLogin->text());
        d.VelRasCon->Password = codepage::fromUnicode(d.ePassword->text());
        d.VelRasCon->PhoneNumber = (DialerOptions.Tone ? "T" : "P") + number;
        return d.VelRasCon->Dial(Handle);
    }
    void AttemptStarted() override
    {
        d.sbHangUp->setEnabled(true);
        d.mPHangUp->setEnabled(true);
    }
    void AttemptRefused() override
    {
        d.AddLog(d.VelRasCon->StatusText);
        d.Beep();
        d.DialEnabled(true);
    }
    void HangUp(ras::HRASCONN Handle) override { d.VelRasCon->HangUp(Handle); }
    void HangUpWait(ras::HRASCONN Handle, bool StateEvents) override
    {
        d.VelRasCon->HangUpWait(Handle, 0, StateEvents, 3000);
    }

    void ShowState(uint16_t State) override
    {
        const AnsiString t = ConnectedStatus(State);
        d.icTray->SetHint(t);
        if (!t.empty()) d.AddLog(t);
    }
    void LogError() override { d.AddLog(d.VelRasCon->StatusText); }
    void ReadLine(ras::HRASCONN Handle) override
    {
        if (d.VelRasCon->ReadProjection(Handle) == 0) d.slPanels[1]->setText(fromAnsi(d.VelRasCon->ClientIP));
        // The traffic is counted from here, also when the projection could not
        // be read: the first sample is taken once the connection is known to
        // the statistics.
        d.VelRasPer->ResetStats();
        if (SystemLevel == 2) d.VelRasPer->SetConnHandle(1, Handle);
        d.VelRasPer->ReadStats();
        d.XmitBase = d.VelRasPer->GetXmitBytes(0);
        d.RecvBase = d.VelRasPer->GetRecvBytes(0);
        d.TickBase = sysclock::tickCount();
    }
    void LineUp() override
    {
        d.IconTray(1);
        d.PlayWav("Connect");
        if (DialerOptions.HideOnConnect) trayhost::hideToTray(&d);
        d.tTimeOnLine->SetEnabled(true);
        d.tTimeOnLineTimer();
    }
    void LineDown(bool WasOnline) override { d.DisconnInfo(WasOnline); }
    void HangUpStarted() override
    {
        d.sbHangUp->setEnabled(false);
        d.mPHangUp->setEnabled(false);
        d.DialEnabled(true);
    }
    void RedialTimer(bool On) override { d.tReDial->SetEnabled(On); }
    bool RedialOption() const override { return DialerOptions.ReDial; }
    int RedialCount() const override { return DialerOptions.RedialCount; }

    winmsg::HWND OwnWindow() const override { return app::applicationWindow().handle(); }
    winmsg::HWND ZelvoWindow() const override { return ReadZelvoHandle(); }
    void Post(winmsg::HWND To, uint32_t Msg, uint32_t WParam) override { winmsg::postMessage(To, Msg, WParam, 0); }

private:
    TIDial& d;
};

TIDial::TIDial(QWidget* Parent)
    : TTrayForm(Parent), roadHost_(std::make_unique<TRoadHost>(*this)), Road(*roadHost_)
{
    setObjectName("IDial");
    setWindowTitle(u(DialerTitle));
    // A single border with the system menu and the minimise box.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    QFont small = font();
    small.setPointSizeF(std::min<qreal>(small.pointSizeF(), 8.0));
    setFont(small);
    QApplication::setQuitOnLastWindowClosed(false);

    ShowNumberDialog = [this](const QString& caption, const AnsiString& text) -> std::optional<AnsiString> {
        TNumberProp dialog(this);
        dialog.setWindowTitle(caption);
        dialog.SetNumber(text);
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        return dialog.Number();
    };
    Beep = [] { QApplication::beep(); };
    Sleep = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };

    createControls();
    bindEvents();
    app::guard([this] { FormCreate(); });
}

TIDial::~TIDial()
{
    app::applicationWindow().onMessage = nullptr;
    if (!destroyed_) FormDestroy();
    VelRasCon->OnStateChanged = nullptr;
}

void TIDial::createControls()
{
    client = named(new QWidget(this), "client");
    setCentralWidget(client);
    const QFontMetrics metrics(font());

    // The status bar: four centred panels.
    slStatus = named(new QStatusBar(this), "slStatus");
    slStatus->setSizeGripEnabled(false);
    slStatus->setFixedHeight(kBarHeight);
    setStatusBar(slStatus);
    const std::array<int, 4> widths = panelWidths(metrics);
    for (int i = 0; i < 4; ++i) {
        slPanels[i] = new QLabel(slStatus);
        slPanels[i]->setObjectName(QString::fromLatin1("slPanel%1").arg(i));
        slPanels[i]->setAlignment(Qt::AlignCenter);
        slPanels[i]->setFixedWidth(widths[static_cast<size_t>(i)]);
        slPanels[i]->setFrameShape(QFrame::Panel);
        slPanels[i]->setFrameShadow(QFrame::Sunken);
        slStatus->addWidget(slPanels[i]);
    }

    const TTrafficColumns traffic = trafficColumns(metrics);
    const int clientWidth = std::max({kClientWidth, traffic.GroupWidth() + 8, slStatus->minimumSizeHint().width()});
    const int groupWidth = clientWidth - 8;

    // Connection.
    gbEntries = named(new QGroupBox(u("Соединение"), client), "gbEntries");
    gbEntries->setGeometry(4, 2, kEntriesWidth, kTopHeight);
    const int inner = gbEntries->width() - 16;
    cbEntries = named(new QComboBox(gbEntries), "cbEntries");
    cbEntries->setGeometry(8, 18, inner, 22);
    lLogin = label(gbEntries, "lLogin", "Логин:", {8, 42, inner, 14});
    eLogin = named(new QLineEdit(gbEntries), "eLogin");
    eLogin->setGeometry(8, 56, inner, 21);
    lPassw = label(gbEntries, "lPassw", "Пароль:", {8, 78, inner, 14});
    ePassword = named(new QLineEdit(gbEntries), "ePassword");
    ePassword->setGeometry(8, 92, inner, 21);
    widgets::maskWithStars(ePassword);
    cbSavePassword = named(new QCheckBox(u("Сохранить пароль"), gbEntries), "cbSavePassword");
    cbSavePassword->setGeometry(8, 115, inner, 18);
    cbSavePassword->setToolTip(u("Сохраняет пароль, для последующего \nиспользования. Для защиты от шпионов\n"
                                 "пароль хранится в другом месте."));
    tbDial = named(new QFrame(gbEntries), "tbDial");
    tbDial->setGeometry(8, 134, inner, 24);
    sbDial = toolButton(tbDial, "sbDial", "Установить соединение", {0, 0, inner / 2 - 4, 24});
    sbDial->setText(u("Звонить"));
    sbDial->setIcon(image(this, imDial));
    sbDial->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    sbHangUp = toolButton(tbDial, "sbHangUp", "Разорвать соединение", {inner / 2 - 4, 0, inner - inner / 2 + 4, 24});
    sbHangUp->setText(u("Разорвать"));
    sbHangUp->setIcon(image(this, imHangUp));
    sbHangUp->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    sbHangUp->setEnabled(false);

    // Telephones.
    gbPhones = named(new QGroupBox(u("Телефоны"), client), "gbPhones");
    gbPhones->setGeometry(gbEntries->x() + gbEntries->width() + 4, 2, clientWidth - kEntriesWidth - 12, kTopHeight);
    lbNumbers = named(new QListWidget(gbPhones), "lbNumbers");
    lbNumbers->setGeometry(8, 18, gbPhones->width() - 16, 112);
    lbNumbers->setSelectionMode(QAbstractItemView::SingleSelection);
    tbEdit = named(new QFrame(gbPhones), "tbEdit");
    tbEdit->setGeometry(8, 134, lbNumbers->width(), 24);
    sbAdd = toolButton(tbEdit, "sbAdd", "Добавить номер", {0, 0, 22, 24});
    sbAdd->setText(u("+"));
    sbDel = toolButton(tbEdit, "sbDel", "Удалить номер", {22, 0, 22, 24});
    sbDel->setText(u("−"));
    sbEdit = toolButton(tbEdit, "sbEdit", "Изменить номер", {44, 0, 22, 24});
    sbEdit->setText(u("…"));
    auto* separator = named(new QFrame(tbEdit), "tbEditSeparator");
    separator->setFrameShape(QFrame::VLine);
    separator->setFrameShadow(QFrame::Sunken);
    separator->setGeometry(68, 3, 4, 18);
    sbUp = toolButton(tbEdit, "sbUp", "Переместить вверх", {74, 0, 22, 24});
    sbUp->setArrowType(Qt::UpArrow);
    sbDn = toolButton(tbEdit, "sbDn", "Переместить вниз", {96, 0, 22, 24});
    sbDn->setArrowType(Qt::DownArrow);

    // Statistics: all entries above the line, the selected entry below it.
    gbStat = named(new QGroupBox(u("Статистика"), client), "gbStat");
    gbStat->setGeometry(4, kTopHeight + 3, groupWidth, 2 * kLineTop);
    const int half = (groupWidth - 16) / 2;
    lMonth = label(gbStat, "lMonth", "В этом месяце:", {8, 17, 90, 14});
    stMonth = label(gbStat, "stMonth", "", {100, 17, half - 92, 14});
    lDay = label(gbStat, "lDay", "Сегодня:", {8 + half + 8, 17, 56, 14});
    stDay = label(gbStat, "stDay", "", {8 + half + 66, 17, half - 66, 14});
    bLine = named(new QFrame(gbStat), "bLine");
    bLine->setFrameShape(QFrame::HLine);
    bLine->setFrameShadow(QFrame::Sunken);
    bLine->setGeometry(8, kLineTop, groupWidth - 16, 2);
    lCaptionEntry = label(gbStat, "lCaptionEntry", "Текущего соединения", {8, kLineTop + 2, groupWidth - 16, 14},
                          Qt::AlignCenter);
    lMonthEntry = label(gbStat, "lMonthEntry", "В этом месяце:", {8, kLineTop + 17, 90, 14});
    stMonthEntry = label(gbStat, "stMonthEntry", "", {100, kLineTop + 17, half - 92, 14});
    lDayEntry = label(gbStat, "lDayEntry", "Сегодня:", {8 + half + 8, kLineTop + 17, 56, 14});
    stDayEntry = label(gbStat, "stDayEntry", "", {8 + half + 66, kLineTop + 17, half - 66, 14});

    // Traffic.
    gbTrafic = named(new QGroupBox(u("Трафик"), client), "gbTrafic");
    gbTrafic->setGeometry(4, 0, groupWidth, kTraficHeight);
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    auto trafficRow = [&](int y, const char* names[5], const char* caption, const char* hints[3], QLabel*& total,
                          QLabel*& bytes, QLabel*& speed, QLabel*& cps, TOrvPerf*& graph) {
        int x = 8;
        auto next = [&](int width, int gap = 0) {
            const QRect place(x, y, width, 16);
            x += width + gap;
            return place;
        };
        label(gbTrafic, names[0], caption, next(traffic.Caption));
        total = label(gbTrafic, names[1], "", next(traffic.Total, 2), right);
        total->setToolTip(u(hints[0]));
        bytes = label(gbTrafic, names[2], "B", next(traffic.Bytes));
        bytes->setToolTip(u("Байт"));
        speed = label(gbTrafic, names[3], "", next(traffic.Speed, 2), right);
        speed->setToolTip(u(hints[1]));
        cps = label(gbTrafic, names[4], "CPS", next(traffic.Cps, 2));
        cps->setToolTip(u("Символов в секунду"));
        graph = new TOrvPerf(gbTrafic);
        graph->setGeometry(x, y - 2, groupWidth - 8 - x, 20);
        graph->setToolTip(u(hints[2]));
        graph->LineColor = QColor(0, 128, 128);
    };
    const char* recvNames[5] = {"lRecv", "stRecv", "lRecvBytes", "stSpeedRecv", "lRecvCps"};
    const char* recvHints[3] = {"Получено байтов", "Скорость получения байтов", "График скорости получения байтов"};
    trafficRow(16, recvNames, "Получено:", recvHints, stRecv, lRecvBytes, stSpeedRecv, lRecvCps, PerfRecv);
    lRecv = gbTrafic->findChild<QLabel*>("lRecv");
    PerfRecv->setObjectName("PerfRecv");
    const char* xmitNames[5] = {"lXmit", "stXmit", "lXmitBytes", "stSpeedXmit", "lXmitCps"};
    const char* xmitHints[3] = {"Отправлено байтов", "Скорость отправки байтов", "График скорости отправки байтов"};
    trafficRow(38, xmitNames, "Отправлено:", xmitHints, stXmit, lXmitBytes, stSpeedXmit, lXmitCps, PerfXmit);
    lXmit = gbTrafic->findChild<QLabel*>("lXmit");
    PerfXmit->setObjectName("PerfXmit");

    // The state log.
    gbStatus = named(new QGroupBox(u("Состояние"), client), "gbStatus");
    gbStatus->setGeometry(4, 0, groupWidth, kStatusHeight);
    ConnLog = named(new QPlainTextEdit(gbStatus), "ConnLog");
    ConnLog->setGeometry(8, 17, groupWidth - 16, kStatusHeight - 25);
    ConnLog->setReadOnly(true);
    ConnLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ConnLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ConnLog->setLineWrapMode(QPlainTextEdit::WidgetWidth);

    // The tray menu.
    PopupMenu1 = named(new QMenu(this), "PopupMenu1");
    mPShow = PopupMenu1->addAction(image(this, imRestore), u("Восстановить"));
    mPShow->setObjectName("mPShow");
    PopupMenu1->addSeparator()->setObjectName("N1");
    mPEntries = named(new QMenu(u("Соединения"), PopupMenu1), "mPEntries");
    mPEntries->setIcon(image(this, imEntries));
    PopupMenu1->addMenu(mPEntries);
    mPEntriesGroup = new QActionGroup(mPEntries);
    mPEntriesGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    mPTire = PopupMenu1->addSeparator();
    mPTire->setObjectName("mPTire");
    mPDial = PopupMenu1->addAction(image(this, imDial), u("Звонить"));
    mPDial->setObjectName("mPDial");
    mPHangUp = PopupMenu1->addAction(image(this, imHangUp), u("Разорвать связь"));
    mPHangUp->setObjectName("mPHangUp");
    mPHangUp->setEnabled(false);
    PopupMenu1->addSeparator()->setObjectName("N2");
    mOptions = named(new QMenu(u("Настройка"), PopupMenu1), "mOptions");
    mOptions->setIcon(image(this, imOptions));
    PopupMenu1->addMenu(mOptions);
    auto option = [&](const char* name, const char* caption) {
        QAction* a = mOptions->addAction(u(caption));
        a->setObjectName(name);
        a->setCheckable(true);
        return a;
    };
    mPAutoRun = option("mPAutoRun", "Автозапуск с системой");
    mPAutoDial = option("mPAutoDial", "Автосоединение");
    mPHideOnRun = option("mPHideOnRun", "Свернуть при запуске");
    mPHideOnConnect = option("mPHideOnConnect", "Свернуть при соединении");
    mPTone = option("mPTone", "Тональный набор");
    PopupMenu1->addSeparator()->setObjectName("N4");
    mPExit = PopupMenu1->addAction(image(this, imExit), u("Выход"));
    mPExit->setObjectName("mPExit");

    icTray = named(new TOrvTrayIcon(this), "icTray");
    icTray->Icons()->AddResource(QString::fromLatin1(DialerOffLineIconResource));
    icTray->Icons()->AddResource(QString::fromLatin1(DialerConnectedIconResource));
    icTray->SetHint("Orvanta Dialer");
    icTray->SetPopupMenu(PopupMenu1);

    VelRasCon = named(new TVelRasCon(this), "VelRasCon");
    VelRasPer = named(new TVelRasPer(this), "VelRasPer");
    VelRasPer->KeyDUNConn = "ConnectSpeed";
    VelRasPer->KeyDUNXmit = "TotalBytesXmit";
    VelRasPer->KeyDUNRecv = "TotalBytesRecvd";
    tTimeOnLine = named(new TTimer(this, [this] { tTimeOnLineTimer(); }), "tTimeOnLine");
    tTimeOnLine->SetInterval(1000);
    tReDial = named(new TTimer(this, [this] { tReDialTimer(); }), "tReDial");
    Wav = named(new TOrvWavePlayer(this), "Wav");
    Wav->SetAsync(true);
    Wav->SetLoop(false);
}

void TIDial::bindEvents()
{
    auto click = [this](auto* sender, auto signal, auto handler) {
        connect(sender, signal, this, [this, handler] { app::guard([&] { (this->*handler)(); }); });
    };
    connect(cbEntries, &QComboBox::activated, this, [this] { app::guard([this] { cbEntriesChange(); }); });
    click(cbSavePassword, &QCheckBox::toggled, &TIDial::cbSavePasswordClick);
    click(ePassword, &QLineEdit::textChanged, &TIDial::ePasswordChange);
    click(lbNumbers, &QListWidget::itemSelectionChanged, &TIDial::lbNumbersClick);
    click(sbAdd, &QToolButton::clicked, &TIDial::sbAddClick);
    click(sbDel, &QToolButton::clicked, &TIDial::sbDelClick);
    click(sbEdit, &QToolButton::clicked, &TIDial::sbEditClick);
    click(sbUp, &QToolButton::clicked, &TIDial::sbUpClick);
    click(sbDn, &QToolButton::clicked, &TIDial::sbDnClick);
    click(sbDial, &QToolButton::clicked, &TIDial::sbDialClick);
    click(sbHangUp, &QToolButton::clicked, &TIDial::sbHangUpClick);
    click(mPShow, &QAction::triggered, &TIDial::mPShowClick);
    click(mPDial, &QAction::triggered, &TIDial::sbDialClick);
    click(mPHangUp, &QAction::triggered, &TIDial::sbHangUpClick);
    click(mPAutoRun, &QAction::triggered, &TIDial::mPAutoRunClick);
    click(mPAutoDial, &QAction::triggered, &TIDial::mPAutoDialClick);
    click(mPHideOnRun, &QAction::triggered, &TIDial::mPHideOnRunClick);
    click(mPHideOnConnect, &QAction::triggered, &TIDial::mPHideOnConnectClick);
    click(mPTone, &QAction::triggered, &TIDial::mPToneClick);
    click(mPExit, &QAction::triggered, &TIDial::mPExitClick);
    connect(mPEntriesGroup, &QActionGroup::triggered, this,
            [this](QAction* item) { app::guard([&] { EntryClick(item); }); });

    icTray->OnDblClick = [this](TOrvTrayIcon*) { mPShowClick(); };
    VelRasCon->OnStateChanged = [this](TVelRasCon*) { VelRasConStateChanged(); };
    app::applicationWindow().onMessage = [this](const winmsg::Message& msg) {
        bool handled = false;
        app::guard([&] { aeMainMessage(msg, handled); });
    };
}

void TIDial::FormCreate()
{
    // A registry file that cannot be read is kept aside, once, and the
    // settings start afresh instead of being lost at the next save.
    const AnsiString kept = KeepUnreadableSettings();
    if (!kept.empty()) AddLog(cp("Не удалось прочитать настройки, файл сохранён как ") + kept);

    // 1. The tray shows the caption and the off-line picture.
    icTray->SetHint(DialerTitle);
    IconTray(0);
    icTray->Loaded();

    // 2. The two tool bars side by side, below the number list.
    tbEdit->move(lbNumbers->x(), lbNumbers->y() + lbNumbers->height() + 4);
    tbDial->move(tbDial->x(), tbEdit->y());

    // 3. The place of the frame's top-left corner; the window manager places
    // the window on a first run.
    int32_t left = -1, top = -1, height = -1, width = -1;
    ReadPosition("Main", left, top, height, width);
    if (left != -1 && top != -1) move(left, top);

    // 4 to 10.
    LoadDialerOptions();
    PrevEntryIndex = -1;
    HasSavedPassword = false;
    SavedPassword.clear();
    OnlineSecs = EntryMonthSecs = EntryDaySecs = 0;
    Road.Reset();
    stMonth->setText(fromAnsi(SecsToStr(DialerOptions.MonthSecs)));
    stDay->setText(fromAnsi(SecsToStr(DialerOptions.DaySecs)));
    tReDial->SetInterval(DialerOptions.RedialDelay * 1000);
    mPAutoRun->setChecked(DialerOptions.AutoRun);
    mPAutoDial->setChecked(DialerOptions.ReDial);
    mPHideOnRun->setChecked(DialerOptions.HideOnRun);
    mPHideOnConnect->setChecked(DialerOptions.HideOnConnect);
    mPTone->setChecked(DialerOptions.Tone);

    // 11.
    if (VelRasCon->CheckRasApi()) {
        eLogin->clear();
        ePassword->clear();
        VelRasCon->ReadPhoneBookEntries();
        std::vector<AnsiString>& entries = VelRasCon->PhoneBookEntries;
        std::stable_sort(entries.begin(), entries.end(),
                         [](const AnsiString& a, const AnsiString& b) { return codepage::compareText(a, b) < 0; });
        for (const AnsiString& e : entries) {
            cbEntries->addItem(fromAnsi(e), QByteArray(e.data(), static_cast<qsizetype>(e.size())));
        }
        const int count = static_cast<int>(entries.size());
        if (count > 0) {
            cbEntries->setCurrentIndex(EntryToSelect(DialerOptions.EntryIndex, count));
            cbEntriesChange();
        }
        for (int i = 0; i < count; ++i) EntryMenuItem(i, entries[static_cast<size_t>(i)], i == cbEntries->currentIndex());
        ShowEntryStatistics(count > 1);
        TTapiLocationSummary summary;
        TTapiLocation location;
        TTapiCountry country;
        TTapiCard card;
        VelRasCon->ReadTranslateCaps(summary, location, country, card);
        if (!VelRasPer->StartStats(true, true)) AddLog(cp("Статистика не доступна!"));
    } else {
        AddLog(cp("RAS не установлен!"));
        ShowEntryStatistics(true);
    }

    // 12, 13: the pager finds this window from now on.
    EDNumbers();
    SaveHandle(app::applicationWindow().handle());

    // 14.
    app::application().ShowMainForm = !DialerOptions.HideOnRun;
}

void TIDial::ShowEntryStatistics(bool Show)
{
    for (QWidget* w : std::initializer_list<QWidget*>{lCaptionEntry, bLine, lMonthEntry, lDayEntry, stMonthEntry,
                                                      stDayEntry}) {
        w->setVisible(Show);
    }
    mPEntries->menuAction()->setVisible(Show);
    mPTire->setVisible(Show);
    gbStat->resize(gbStat->width(), Show ? 2 * bLine->y() : bLine->y());
    gbTrafic->move(gbTrafic->x(), gbStat->y() + gbStat->height() + 3);
    gbStatus->move(gbStatus->x(), gbTrafic->y() + gbTrafic->height() + 2);
    setFixedSize(gbStat->width() + 8,
                 gbPhones->height() + gbStat->height() + gbStatus->height() + gbTrafic->height() + kBarHeight + 8);
}

// ---- the log, the panels, the tray ------------------------------------------------

void TIDial::AddLog(const AnsiString& Text)
{
    const AnsiString line = Text.empty() ? AnsiString() : LogLine(sysclock::now().time(), Text);
    QTextCursor c(ConnLog->document());
    c.movePosition(QTextCursor::Start);
    c.insertText(logStarted_ ? fromAnsi(line) + QLatin1Char('\n') : fromAnsi(line));
    logStarted_ = true;
    ConnLog->moveCursor(QTextCursor::Start);
}

std::vector<AnsiString> TIDial::LogLines() const
{
    std::vector<AnsiString> out;
    if (!logStarted_) return out;
    for (QTextBlock b = ConnLog->document()->begin(); b.isValid(); b = b.next())
        out.push_back(codepage::fromUnicode(b.text()));
    return out;
}

void TIDial::DialEnabled(bool On)
{
    sbDial->setEnabled(On);
    mPDial->setEnabled(On);
    cbEntries->setEnabled(On);
    mPEntries->menuAction()->setEnabled(On);
}

void TIDial::EDNumbers()
{
    const int row = SelectedNumber();
    sbDel->setEnabled(lbNumbers->count() > 0);
    sbEdit->setEnabled(sbDel->isEnabled());
    sbUp->setEnabled(row > 0);
    sbDn->setEnabled(row < lbNumbers->count() - 1);
}

void TIDial::IconTray(int N) { icTray->SetIcon(icTray->Icons()->GetIcon(N)); }

// ---- entries -----------------------------------------------------------------

AnsiString TIDial::EntryName(int Index) const
{
    if (Index < 0 || Index >= cbEntries->count()) return {};
    return cbEntries->itemData(Index).toByteArray().toStdString();
}

void TIDial::EntryClick(QAction* Item)
{
    Item->setChecked(true);
    cbEntries->setCurrentIndex(Item->data().toInt());
    cbEntriesChange();
}

void TIDial::EntryMenuItem(int Index, const AnsiString& Caption, bool Checked)
{
    QAction* item = mPEntries->addAction(fromAnsi(Caption));
    item->setCheckable(true);
    item->setChecked(Checked);
    item->setData(Index);
    mPEntriesGroup->addAction(item);
}

void TIDial::cbEntriesChange()
{
    const int index = cbEntries->currentIndex();
    if (index == PrevEntryIndex || index == -1) return;
    CurrentEntry = EntryName(index);
    VelRasCon->EntryName = CurrentEntry;
    int r = VelRasCon->ReadDialParams();
    if (r == 0) r = VelRasCon->ReadEntryProperties();
    if (r != 0) {
        AddLog(VelRasCon->StatusText);
        Beep();
        // The loaded numbers still belong to the previous entry: its name and
        // its place in the list and the menu come back, so they are never
        // stored under the entry that could not be read.
        CurrentEntry = EntryName(PrevEntryIndex);
        VelRasCon->EntryName = CurrentEntry;
        cbEntries->setCurrentIndex(PrevEntryIndex);
        const QList<QAction*> items = mPEntries->actions();
        if (PrevEntryIndex >= 0 && PrevEntryIndex < items.size()) {
            items[PrevEntryIndex]->setChecked(true);
        } else if (QAction* checked = mPEntriesGroup->checkedAction()) {
            checked->setChecked(false);
        }
        return;
    }
    eLogin->setText(fromAnsi(VelRasCon->UserName));
    if (PrevEntryIndex != -1) WritePhones(EntryName(PrevEntryIndex));
    HasSavedPassword = false;
    SavedPassword.clear();
    ReadPhones(CurrentEntry);
    const AnsiString password = DecodePassword(SavedPassword);
    ePassword->setText(fromAnsi(password));
    cbSavePassword->setChecked(HasSavedPassword && !password.empty());
    stMonthEntry->setText(fromAnsi(SecsToStr(EntryMonthSecs)));
    stDayEntry->setText(fromAnsi(SecsToStr(EntryDaySecs)));
    if (lbNumbers->count() == 0 && !VelRasCon->LocalPhoneNumber.empty()) AddNumber(VelRasCon->LocalPhoneNumber, true);
    PrevEntryIndex = index;
    DialerOptions.EntryIndex = index;
    SelectNumber(0);
    EDNumbers();
    mPDial->setText(u("Звонить (") + fromAnsi(CurrentEntry) + u(")"));
    const QList<QAction*> items = mPEntries->actions();
    if (index < items.size()) items[index]->setChecked(true);
}

void TIDial::ReadPhones(const AnsiString& Entry)
{
    TEntryState state;
    ::ReadPhones(Entry, state);
    lbNumbers->clear();
    for (const TPhoneRow& row : state.Phones) AddNumber(row.Number, row.Checked);
    HasSavedPassword = state.HasSavedPassword;
    SavedPassword = state.SavedPassword;
    EntryMonthSecs = state.EntryMonthSecs;
    EntryDaySecs = state.EntryDaySecs;
}

void TIDial::WritePhones(const AnsiString& Entry) { ::WritePhones(Entry, EntryState()); }

TEntryState TIDial::EntryState() const
{
    TEntryState state;
    for (int i = 0; i < lbNumbers->count(); ++i) state.Phones.push_back({NumberText(i), NumberChecked(i)});
    state.HasSavedPassword = HasSavedPassword;
    state.SavedPassword = SavedPassword;
    state.EntryMonthSecs = EntryMonthSecs;
    state.EntryDaySecs = EntryDaySecs;
    return state;
}

// ---- login and password ------------------------------------------------------------

void TIDial::cbSavePasswordClick()
{
    HasSavedPassword = cbSavePassword->isChecked();
    ePasswordChange();
}

void TIDial::ePasswordChange()
{
    if (HasSavedPassword) {
        SavedPassword = EncodePassword(LeftStr(codepage::fromUnicode(ePassword->text()), 255));
    } else {
        SavedPassword.clear();
    }
}

// ---- the numbers -------------------------------------------------------------

AnsiString TIDial::NumberText(int Row) const
{
    const QListWidgetItem* item = lbNumbers->item(Row);
    return item ? item->data(Qt::UserRole).toByteArray().toStdString() : AnsiString();
}

bool TIDial::NumberChecked(int Row) const
{
    const QListWidgetItem* item = lbNumbers->item(Row);
    return item && item->checkState() == Qt::Checked;
}

int TIDial::SelectedNumber() const
{
    const QListWidgetItem* item = lbNumbers->currentItem();
    return item && item->isSelected() ? lbNumbers->row(item) : -1;
}

void TIDial::AddNumber(const AnsiString& Number, bool Checked)
{
    auto* item = new QListWidgetItem(fromAnsi(Number), lbNumbers);
    item->setData(Qt::UserRole, QByteArray(Number.data(), static_cast<qsizetype>(Number.size())));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Checked ? Qt::Checked : Qt::Unchecked);
}

void TIDial::SelectNumber(int Row)
{
    if (Row < 0 || Row >= lbNumbers->count()) {
        lbNumbers->setCurrentRow(-1);
        return;
    }
    lbNumbers->setCurrentRow(Row, QItemSelectionModel::ClearAndSelect);
}

void TIDial::SwapNumbers(int A, int B)
{
    QListWidgetItem* a = lbNumbers->item(A);
    QListWidgetItem* b = lbNumbers->item(B);
    const QString text = a->text();
    const QVariant data = a->data(Qt::UserRole);
    const Qt::CheckState check = a->checkState();
    a->setText(b->text());
    a->setData(Qt::UserRole, b->data(Qt::UserRole));
    a->setCheckState(b->checkState());
    b->setText(text);
    b->setData(Qt::UserRole, data);
    b->setCheckState(check);
}

void TIDial::lbNumbersClick() { EDNumbers(); }

void TIDial::sbAddClick()
{
    const auto text = ShowNumberDialog(u("Добавить телефон"), AnsiString());
    if (!text) return;
    AddNumber(AddedNumber(*text), true);
    EDNumbers();
}

void TIDial::sbEditClick()
{
    const int row = SelectedNumber();
    if (row < 0) return;
    const auto text = ShowNumberDialog(u("Изменить телефон"), NumberText(row));
    if (!text) return;
    const AnsiString number = EditedNumber(*text);
    QListWidgetItem* item = lbNumbers->item(row);
    item->setText(fromAnsi(number));
    item->setData(Qt::UserRole, QByteArray(number.data(), static_cast<qsizetype>(number.size())));
    EDNumbers();
}

void TIDial::sbDelClick()
{
    const int row = SelectedNumber();
    if (row < 0) return;
    delete lbNumbers->takeItem(row);
    SelectNumber(std::min(row, lbNumbers->count() - 1));
    EDNumbers();
}

void TIDial::sbUpClick()
{
    const int row = SelectedNumber();
    if (row <= 0) return;
    SwapNumbers(row, row - 1);
    SelectNumber(row - 1);
    EDNumbers();
}

void TIDial::sbDnClick()
{
    const int row = SelectedNumber();
    if (row < 0 || row >= lbNumbers->count() - 1) return;
    SwapNumbers(row, row + 1);
    SelectNumber(row + 1);
    EDNumbers();
}

// ---- options -----------------------------------------------------------------

void TIDial::Toggle(bool& Flag, QAction* Item)
{
    Flag = !Flag;
    Item->setChecked(Flag);
}

void TIDial::mPAutoRunClick() { Toggle(DialerOptions.AutoRun, mPAutoRun); }

void TIDial::mPAutoDialClick() { Toggle(DialerOptions.ReDial, mPAutoDial); }

void TIDial::mPHideOnRunClick() { Toggle(DialerOptions.HideOnRun, mPHideOnRun); }

void TIDial::mPHideOnConnectClick() { Toggle(DialerOptions.HideOnConnect, mPHideOnConnect); }

void TIDial::mPToneClick() { Toggle(DialerOptions.Tone, mPTone); }

// ---- showing and hiding --------------------------------------------------------

void TIDial::FormShow()
{
    mPShow->setText(u("Спрятать"));
    mPShow->setIcon(image(this, imHide));
    tbDial->resize(sbDial->width() + sbHangUp->width(), tbDial->height());
    if (!StartingMinimized()) RestoreFromMinimized();
}

void TIDial::FormHide()
{
    mPShow->setText(u("Восстановить"));
    mPShow->setIcon(image(this, imRestore));
}

void TIDial::mPShowClick() { ShowHide(); }

void TIDial::contextMenuEvent(QContextMenuEvent* Event)
{
    if (trayhost::available()) {
        TTrayForm::contextMenuEvent(Event);
        return;
    }
    PopupMenu1->popup(Event->globalPos());
    Event->accept();
}

void TIDial::mPExitClick() { close(); }

// ---- closing -------------------------------------------------------------------

void TIDial::closeEvent(QCloseEvent* Event)
{
    // Refused while a connection is up, unless the program must end.
    if (!destroyed_ && Road.Online() && !terminating_) {
        Event->ignore();
        return;
    }
    Event->accept();
    if (!destroyed_) FormDestroy();
    if (OnClosed) OnClosed();
}

void TIDial::Terminate()
{
    terminating_ = true;
    close();
}

void TIDial::FormDestroy()
{
    destroyed_ = true;
    tTimeOnLine->SetEnabled(false);
    // An attempt or a line of this program goes with it; a pager that waits
    // for an attempt is told none will come.
    app::guard([this] { Road.Destroy(); });
    app::guard([this] { WritePosition("Main", x(), y(), -1, -1, false); });
    app::guard([this] { WritePhones(CurrentEntry); });
    app::guard([] { SaveHandle(0); });
    app::guard([] { SaveDialerOptions(); });
}

// ---- dialling ------------------------------------------------------------------

void TIDial::sbDialClick() { Road.DialClick(); }

void TIDial::sbHangUpClick() { Road.HangUpClick(); }

void TIDial::VelRasConStateChanged() { Road.StateChanged(VelRasCon->ConnectState, VelRasCon->ConnectError); }

void TIDial::tReDialTimer() { Road.RedialTimerFired(); }

void TIDial::tTimeOnLineTimer()
{
    VelRasPer->ReadStats();
    const uint32_t now = sysclock::tickCount();
    const uint32_t elapsed = now - TickBase;
    const uint64_t xmit = VelRasPer->GetXmitBytes(0);
    const uint64_t recv = VelRasPer->GetRecvBytes(0);
    const uint32_t xmitRate = TrafficRate(xmit, XmitBase, elapsed);
    const uint32_t recvRate = TrafficRate(recv, RecvBase, elapsed);
    XmitBase = xmit;
    RecvBase = recv;
    TickBase = now;

    const int32_t speed = VelRasPer->GetConnSpeed(0);
    slPanels[0]->setText(fromAnsi(SpeedText(speed)));
    stRecv->setText(fromAnsi(GroupedNumber(recv)));
    stSpeedRecv->setText(fromAnsi(GroupedNumber(recvRate)));
    PerfRecv->AddValue(recvRate);
    stXmit->setText(fromAnsi(GroupedNumber(xmit)));
    stSpeedXmit->setText(fromAnsi(GroupedNumber(xmitRate)));
    PerfXmit->AddValue(xmitRate);

    OnlineSecs = CountUp(OnlineSecs, kDayWrap);
    const AnsiString online = SecsToStr(OnlineSecs);
    slPanels[3]->setText(fromAnsi(online));
    DialerOptions.MonthSecs = CountUp(DialerOptions.MonthSecs, kMonthWrap);
    stMonth->setText(fromAnsi(SecsToStr(DialerOptions.MonthSecs)));
    DialerOptions.DaySecs = CountUp(DialerOptions.DaySecs, kDayWrap);
    stDay->setText(fromAnsi(SecsToStr(DialerOptions.DaySecs)));
    EntryMonthSecs = CountUp(EntryMonthSecs, kMonthWrap);
    stMonthEntry->setText(fromAnsi(SecsToStr(EntryMonthSecs)));
    EntryDaySecs = CountUp(EntryDaySecs, kDayWrap);
    stDayEntry->setText(fromAnsi(SecsToStr(EntryDaySecs)));
    icTray->SetHint(OnlineHint(speed, online));

    // A list that could not be read says nothing of the line: it stays.
    const int listed = VelRasCon->RefreshConnections();
    if (listed != 0 && listed != ras::ERROR_BUFFER_TOO_SMALL) return;
    if (VelRasCon->Connections.Count() > 0) return;
    Road.LineLost();
}

void TIDial::DisconnInfo(bool WasOnline)
{
    tTimeOnLine->SetEnabled(false);
    for (QLabel* panel : slPanels) panel->clear();
    stRecv->clear();
    stSpeedRecv->clear();
    stXmit->clear();
    stSpeedXmit->clear();
    PerfRecv->Clear();
    PerfXmit->Clear();
    OnlineSecs = 0;
    WritePhones(CurrentEntry);
    SaveDialerOptions();
    IconTray(0);
    if (WasOnline) PlayWav("Disconnect");
    icTray->SetHint(DialerTitle);
    sbHangUp->setEnabled(false);
    mPHangUp->setEnabled(false);
    DialEnabled(true);
    AddLog(cp("Соединение разорвано"));
    AddLog(AnsiString());
}

void TIDial::PlayWav(const AnsiString& Name)
{
    Wav->Stop();
    Wav->WaveFile = "Sounds\\" + Name + ".wav";
    Wav->Play();
}

// ---- messages of the pager -------------------------------------------------------

void TIDial::aeMainMessage(const winmsg::Message& Msg, bool& Handled)
{
    switch (Msg.msg) {
    case WM_DIAL_CONNECT:
        Road.PagerConnect(Msg.wParam);
        Handled = true;
        break;
    case WM_DIAL_HANGUP:
        Road.PagerHangUp();
        Handled = true;
        break;
    case WM_DIAL_SHOW:
        show();
        RestoreFromMinimized();
        SwitchToWindow(this, true);
        Handled = true;
        break;
    default: break;
    }
}
