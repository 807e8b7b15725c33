// SPDX-License-Identifier: GPL-3.0-or-later
#include "Recorder.h"

#include "controls/MLabel.h"
#include "controls/MTrkBar.h"
#include "platform/Dialogs.h"
#include "platform/ErrorReporter.h"
#include "platform/Errors.h"
#include "platform/Fonts.h"
#include "platform/Guard.h"
#include "platform/Timer.h"

#include <QDir>
#include <QFrame>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QToolButton>

#include <algorithm>
#include <limits>
#include <optional>
#include <utility>

namespace {

constexpr int StepMs = 250;
constexpr int TimerIntervalMs = 250;
constexpr int PrevNextMs = 1000;
const QColor Lime(0x00, 0xFF, 0x00);

/// What a masked edit with the mask "!9999.99;1;0" shows for `text`: the digits before the
/// point right-aligned in four places, the two after it left-aligned, blanks as "0".
QString maskedText(const QString& text)
{
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    QString whole;
    QString fraction;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isDigit())
            (point >= 0 && i > point ? fraction : whole) += text[i];
    }
    if (whole.size() > 4)
        return QStringLiteral("9999.99");
    return whole.rightJustified(4, QLatin1Char('0')) + QLatin1Char('.') +
           fraction.left(2).leftJustified(2, QLatin1Char('0'));
}

/// Seconds with two decimals of a millisecond value, as "%04.2f" (length, position) or
/// "%4.2f" (marks) give them.
QString secondsZeroFilled(qint32 ms)
{
    return QString::asprintf("%04.2f", ms * 0.001);
}

QString secondsPadded(qint32 ms)
{
    return QString::asprintf("%4.2f", ms * 0.001);
}

QLineEdit* display(QWidget* parent, const char* name, int left)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(left, 16, 84, 34);
    // The seven-segment face is wider than the one the window was laid out for; condensed,
    // all seven places fit the 84 pixels.
    QFont digits = Fonts::transistor(24, true);
    digits.setStretch(64);
    edit->setFont(digits);
    edit->setInputMask(QStringLiteral("0000.00"));
    edit->setMaxLength(7);
    edit->setText(maskedText(QString()));
    QPalette pal = edit->palette();
    pal.setColor(QPalette::Base, Qt::black);
    pal.setColor(QPalette::Text, Lime);
    pal.setColor(QPalette::Highlight, QColor(0x00, 0x50, 0x00));
    pal.setColor(QPalette::HighlightedText, Lime);
    edit->setPalette(pal);
    return edit;
}

QToolButton* transportButton(QWidget* parent, const char* name, const QString& picture, int left)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(left, 156, 36, 36);
    QIcon icon;
    icon.addFile(QStringLiteral(":/devices/rec-%1.svg").arg(picture), QSize(32, 32), QIcon::Normal);
    icon.addFile(QStringLiteral(":/devices/rec-%1-disabled.svg").arg(picture), QSize(32, 32),
                 QIcon::Disabled);
    button->setIcon(icon);
    button->setIconSize(QSize(32, 32));
    button->setFocusPolicy(Qt::NoFocus);
    button->setEnabled(false);
    return button;
}

QPushButton* pushButton(QWidget* parent, const char* name, const QString& caption, const QString& picture,
                        int left)
{
    auto* button =
        new QPushButton(QIcon(QStringLiteral(":/devices/btn-%1.svg").arg(picture)), caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(left, 217, 58, 25);
    button->setIconSize(QSize(16, 16));
    return button;
}

TMTrackBar* slider(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* bar = new TMTrackBar(parent);
    bar->setObjectName(QLatin1String(name));
    bar->setGeometry(geometry);
    bar->setShowTicks(false);
    return bar;
}

TMLabel* caption(QWidget* parent, const char* name, const QString& text)
{
    auto* label = new TMLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setCaption(text);
    return label;
}

/// The open dialog starts in the sounds folder of the home folder when there is one.
QString soundsFolder()
{
    const QDir home = QDir::home();
    const QString sounds = home.filePath(QStringLiteral("sounds"));
    return QDir(sounds).exists() ? sounds : home.path();
}

} // namespace

TRecForm::TRecForm(QWidget* owner, Dialogs& dialogs)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
    , m_dialogs(dialogs)
{
    Fonts::loadProgramFonts();
    setWindowTitle(QStringLiteral("Recorder"));
    setFont(Fonts::msSansSerif(11));
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    setFixedSize(305, 260);
    move(347, 124);
    buildControls();
    guard([this] { FormCreate(); });
}

TRecForm::~TRecForm()
{
    guard([this] { FormDestroy(); });
}

void TRecForm::buildControls()
{
    edtStart = display(this, "edtStart", 14);
    edtStop = display(this, "edtStop", 111);
    edtSize = display(this, "edtSize", 207);

    tbStart = slider(this, "tbStart", QRect(57, 86, 226, 22));
    tbStop = slider(this, "tbStop", QRect(57, 123, 225, 20));

    btnPlay = transportButton(this, "btnPlay", QStringLiteral("play"), 26);
    btnStop = transportButton(this, "btnStop", QStringLiteral("stop"), 70);
    btnPrev = transportButton(this, "btnPrev", QStringLiteral("prev"), 113);
    btnNext = transportButton(this, "btnNext", QStringLiteral("next"), 157);
    btnPause = transportButton(this, "btnPause", QStringLiteral("pause"), 200);
    btnRecord = transportButton(this, "btnRecord", QStringLiteral("record"), 243);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Raised);
    Bevel1->setGeometry(0, 196, 304, 3);

    btnOpen = pushButton(this, "btnOpen", QStringLiteral("&Open"), QStringLiteral("open"), 58);
    btnOpen->setDefault(true);
    btnNew = pushButton(this, "btnNew", QStringLiteral("&New"), QStringLiteral("new"), 123);
    btnSave = pushButton(this, "btnSave", QStringLiteral("&Save"), QStringLiteral("save"), 189);

    // The three display captions sit centred under their displays, the slider captions on their left.
    MLabel1 = caption(this, "MLabel1", QStringLiteral("Current Position"));
    MLabel2 = caption(this, "MLabel2", QStringLiteral("Ending Position"));
    MLabel3 = caption(this, "MLabel3", QStringLiteral("Wave Size"));
    MLabel4 = caption(this, "MLabel4", QStringLiteral("Start"));
    MLabel5 = caption(this, "MLabel5", QStringLiteral("Stop"));
    const std::pair<TMLabel*, QLineEdit*> underDisplays[] = {
        {MLabel1, edtStart}, {MLabel2, edtStop}, {MLabel3, edtSize}};
    for (const auto& [label, edit] : underDisplays)
        label->move(edit->geometry().center().x() - label->width() / 2 + 1, 54);
    MLabel4->move(57 - 8 - MLabel4->width(), 86 + (22 - MLabel4->height()) / 2);
    MLabel5->move(57 - 8 - MLabel5->width(), 123 + (20 - MLabel5->height()) / 2);

    // Below the buttons, where the window has room for one line: news of the take, said
    // without a box to dismiss.
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setGeometry(6, 244, 293, 15);

    Timer1 = new TTimer(this, TimerIntervalMs);
    Timer1->setObjectName(QStringLiteral("Timer1"));

    setTabOrder(tbStart, tbStop);
    setTabOrder(tbStop, edtStart);
    setTabOrder(edtStart, edtStop);
    setTabOrder(edtStop, edtSize);
    setTabOrder(edtSize, btnOpen);
    setTabOrder(btnOpen, btnNew);
    setTabOrder(btnNew, btnSave);
    tbStart->setFocus();

    const std::pair<QToolButton*, void (TRecForm::*)()> transport[] = {
        {btnPlay, &TRecForm::btnPlayClick},   {btnStop, &TRecForm::btnStopClick},
        {btnPrev, &TRecForm::btnPrevClick},   {btnNext, &TRecForm::btnNextClick},
        {btnPause, &TRecForm::btnPauseClick}, {btnRecord, &TRecForm::btnRecordClick}};
    for (const auto& [button, handler] : transport)
        connectGuarded(button, &QToolButton::clicked, this,
                       [this, handler = handler] { (this->*handler)(); });
    connectGuarded(btnOpen, &QPushButton::clicked, this, [this] { btnOpenClick(); });
    connectGuarded(btnNew, &QPushButton::clicked, this, [this] { btnNewClick(); });
    connectGuarded(btnSave, &QPushButton::clicked, this, [this] { btnSaveClick(); });
    connect(tbStart, &TMTrackBar::OnChange, this,
            [this](TMTrackBar*) { sliderChanged(&TRecForm::tbStartChange); });
    connect(tbStop, &TMTrackBar::OnChange, this,
            [this](TMTrackBar*) { sliderChanged(&TRecForm::tbStopChange); });
    connect(Timer1, &QTimer::timeout, this, [this] { timerTick(); });
}

void TRecForm::keyPressEvent(QKeyEvent* event)
{
    // The window has no cancel button: Esc does not close it.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

QString TRecForm::noWaveMessage()
{
    return QStringLiteral("No wave is open. Open a wave file or start a new one first.");
}

void TRecForm::requireWave() const
{
    if (!waveOpen())
        throw DeviceError(noWaveMessage());
}

qint32 TRecForm::markOf(int sliderPosition) const
{
    const qint32 mark = sliderPosition * StepMs;
    // On the one-step range of a wave shorter than a step, that step is the wave's end.
    return m_shortRange ? std::min(mark, WaveLength) : mark;
}

template <typename F> void TRecForm::changeSlider(F&& change)
{
    {
        ++m_changeDepth;
        const auto leave = qScopeGuard([this] { --m_changeDepth; });
        std::forward<F>(change)();
    }
    if (std::exception_ptr error = std::exchange(m_changeError, nullptr))
        std::rethrow_exception(error);
}

void TRecForm::sliderChanged(void (TRecForm::*handler)())
{
    if (m_changeDepth == 0) {
        // The operator moved the slider.
        guard([&] { (this->*handler)(); });
        return;
    }
    // Moved from code: the error belongs to the code that moved it.
    if (m_changeError)
        return;
    try {
        (this->*handler)();
    } catch (...) {
        m_changeError = std::current_exception();
    }
}

void TRecForm::enableTransport()
{
    for (QToolButton* button : {btnPlay, btnStop, btnPrev, btnNext, btnPause, btnRecord})
        button->setEnabled(true);
}

// --- internal operations ---------------------------------------------------------------------------------

void TRecForm::OpenWave(const QString& FileName)
{
    m_elementName = FileName.toUtf8();
    OpenParms.lpstrDeviceType = "waveaudio";
    OpenParms.lpstrElementName = m_elementName.constData();
    LastError = mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, &OpenParms);
    if (LastError != 0)
        throw DeviceError(QStringLiteral("Unable to open Wave Recorder"));
    DeviceID = OpenParms.wDeviceID;

    SetParms.dwTimeFormat = MCI_FORMAT_MILLISECONDS;
    LastError = mciSendCommandA(DeviceID, MCI_SET, MCI_SET_TIME_FORMAT, &SetParms);
    if (LastError != 0) {
        mciSendCommandA(DeviceID, MCI_CLOSE, 0, nullptr);
        DeviceID = NoWave;
        throw DeviceError(QStringLiteral("Can't set the time format!"));
    }

    StartPos = 0;
    StopPos = 0;
    MeasureLength();
    if (WaveLength > 0) {
        SetSliderRanges();
    } else {
        changeSlider([this] { tbStart->setPosition(0); });
        changeSlider([this] { tbStop->setPosition(0); });
    }
    edtSize->setText(maskedText(secondsZeroFilled(WaveLength)));
    edtStart->setText(maskedText(QStringLiteral("0000.00")));
    edtStop->setText(edtSize->text());
    lblStatus->clear();
    Mode = 4;
}

void TRecForm::CloseWave()
{
    if (DeviceID == NoWave)
        return;
    mciSendCommandA(DeviceID, MCI_CLOSE, 0, nullptr);
    DeviceID = NoWave;
}

void TRecForm::MeasureLength()
{
    requireWave();
    LastError = mciSendCommandA(DeviceID, MCI_SEEK, MCI_SEEK_TO_END | MCI_WAIT, &SeekParms);
    if (LastError != 0)
        throw DeviceError(QStringLiteral("Unable to find the end of the wave!"));
    WaveLength = GetPosition();
    LastError = mciSendCommandA(DeviceID, MCI_SEEK, MCI_SEEK_TO_START | MCI_WAIT, &SeekParms);
    if (LastError != 0)
        throw DeviceError(QStringLiteral("Unable to reset wave file!"));
    m_takeUnmeasured = false;
}

void TRecForm::ShowDroppedBlocks()
{
    MCI_STATUS_PARMS status;
    status.dwItem = MCI_WAVE_STATUS_DROPPED_BLOCKS;
    // A device that does not count them has nothing to say.
    if (mciSendCommandA(DeviceID, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT, &status) != 0)
        return;
    if (status.dwReturn == 0)
        lblStatus->clear();
    else if (status.dwReturn == 1)
        lblStatus->setText(QStringLiteral("The sound server dropped 1 block: kept as silence."));
    else
        lblStatus->setText(
            QStringLiteral("The sound server dropped %1 blocks: kept as silence.").arg(status.dwReturn));
}

qint32 TRecForm::GetPosition()
{
    requireWave();
    MCI_STATUS_PARMS status;
    status.dwItem = MCI_STATUS_POSITION;
    LastError = mciSendCommandA(DeviceID, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT, &status);
    if (LastError != 0)
        throw DeviceError(QStringLiteral("Unable to get the current position"));
    return static_cast<qint32>(std::min<quint32>(status.dwReturn, std::numeric_limits<qint32>::max()));
}

void TRecForm::SetSliderRanges()
{
    // A wave shorter than one step still gets a range the slider can show: 0..1, where the
    // one step stands for the wave's end.
    m_shortRange = WaveLength < StepMs;
    const int steps = std::max(WaveLength / StepMs, 1);
    changeSlider([&] { tbStop->setMax(steps); });
    changeSlider([&] { tbStart->setMax(steps); });
    changeSlider([this] { tbStop->setPosition(tbStop->Max()); });
    changeSlider([this] { tbStart->setPosition(0); });
    // A slider that already stood there did not report a change, so its mark is set here:
    // a stop slider at the end with no stop mark behind it would jump to the start slider
    // as soon as that moved.
    if (const qint32 start = markOf(tbStart->Position()); start != StartPos) {
        StartPos = start;
        edtStart->setText(maskedText(secondsPadded(StartPos)));
    }
    if (const qint32 stop = markOf(tbStop->Position()); stop != StopPos) {
        StopPos = stop;
        edtStop->setText(maskedText(secondsPadded(StopPos)));
    }
}

void TRecForm::PlayRange()
{
    requireWave();
    quint32 flags = MCI_FROM;
    PlayParms.dwFrom = static_cast<quint32>(StartPos);
    if (StopPos > 0) {
        flags |= MCI_TO;
        PlayParms.dwTo = static_cast<quint32>(StopPos);
    }
    Timer1->setEnabled(true);
    LastError = mciSendCommandA(DeviceID, MCI_PLAY, flags, &PlayParms);
    if (LastError != 0)
        throw DeviceError(QStringLiteral("Unable to play wave"));
}

// --- handlers ----------------------------------------------------------------------------------------------

void TRecForm::btnPlayClick()
{
    requireWave();
    Mode = 0;
    Timer1->setEnabled(true);
    PlayRange();
}

void TRecForm::btnStopClick()
{
    // The seek to the end ends the recording; with the wave closed meanwhile there is nothing
    // to measure. A recording that was paused (or played over) since is measured as well.
    if ((Mode == 5 || m_takeUnmeasured) && waveOpen()) {
        MeasureLength();
        SetSliderRanges();
        ShowDroppedBlocks();
    }
    Mode = 2;
    Timer1->setEnabled(false);
    // A failed stop is not reported, and a stop never goes to every device.
    if (waveOpen())
        LastError = mciSendCommandA(DeviceID, MCI_STOP, 0, &GenericParms);
}

void TRecForm::btnPrevClick()
{
    requireWave();
    StartPos = std::max(StartPos - PrevNextMs, 0);
    PlayRange();
}

void TRecForm::btnNextClick()
{
    requireWave();
    StartPos += PrevNextMs;
    if (StartPos < StopPos) {
        PlayRange();
        Timer1->setEnabled(true);
    }
}

void TRecForm::btnPauseClick()
{
    requireWave();
    LastError = mciSendCommandA(DeviceID, MCI_PAUSE, 0, &GenericParms);
    if (LastError != 0)
        throw DeviceError(QStringLiteral("Unable to pause wave!"));
    Mode = 1;
}

void TRecForm::btnRecordClick()
{
    requireWave();
    Mode = 5;
    quint32 flags = 0;
    if (StartPos > 0) {
        flags = MCI_FROM;
        RecordParms.dwFrom = static_cast<quint32>(StartPos);
    }
    if (StopPos > 0) {
        flags |= MCI_TO;
        RecordParms.dwTo = static_cast<quint32>(StopPos);
    }
    LastError = mciSendCommandA(DeviceID, MCI_RECORD, flags, &RecordParms);
    if (LastError != 0)
        throw DeviceError(QStringLiteral("Unable to start recording!"));
    m_takeUnmeasured = true;
    Timer1->setEnabled(true);
}

void TRecForm::btnOpenClick()
{
    CloseWave();
    if (const std::optional<QString> name = m_dialogs.openFileName(this, soundsFolder(), QString()))
        OpenWave(*name);
    enableTransport();
}

void TRecForm::btnNewClick()
{
    enableTransport();
    CloseWave();
    Mode = 2;
    OpenWave(QString());
    Mode = 4;
}

void TRecForm::btnSaveClick()
{
    const std::optional<QString> name = m_dialogs.saveFileName(this, QString(), QString());
    if (!name)
        return;
    // With no wave the request would reach every open device.
    if (!waveOpen())
        throw DeviceError(QStringLiteral("Unsuccessful Save!"));
    m_saveName = name->toUtf8();
    SaveParms.lpfilename = m_saveName.constData();
    LastError = mciSendCommandA(DeviceID, MCI_SAVE, MCI_SAVE_FILE | MCI_WAIT, &SaveParms);
    if (LastError != 0)
        throw DeviceError(QStringLiteral("Unsuccessful Save!"));
}

void TRecForm::Timer1Timer()
{
    edtStart->setText(maskedText(secondsZeroFilled(GetPosition())));
}

void TRecForm::timerTick()
{
    // With no wave open (while the open dialog shows, or after it was cancelled) there is
    // no position to show.
    if (!waveOpen())
        return;
    try {
        Timer1Timer();
        m_tickFailing = false;
    } catch (...) {
        // One message for a run of failing ticks, not four a second.
        if (!m_tickFailing) {
            m_tickFailing = true;
            ErrorReporter::reportCurrentException();
        }
    }
}

void TRecForm::tbStartChange()
{
    btnStopClick();
    StartPos = markOf(tbStart->Position());
    if (StartPos > StopPos) {
        StopPos = StartPos;
        changeSlider([this] { tbStop->setPosition(tbStart->Position()); });
    }
    edtStart->setText(maskedText(secondsPadded(StartPos)));
}

void TRecForm::tbStopChange()
{
    btnStopClick();
    StopPos = markOf(tbStop->Position());
    if (StopPos < StartPos) {
        StartPos = StopPos;
        changeSlider([this] { tbStart->setPosition(tbStop->Position()); });
    }
    edtStop->setText(maskedText(secondsPadded(StopPos)));
}

void TRecForm::FormCreate()
{
    // Opens no device: the operator starts with Open or New.
}

void TRecForm::FormDestroy()
{
    Timer1->setEnabled(false);
    CloseWave();
}
