// SPDX-License-Identifier: GPL-3.0-or-later
#include "SongEdit.h"

#include "SongPreview.h"
#include "SongStruc.h"
#include "SongTimeMarks.h"
#include "StandIn.h"
#include "audio/PeaksLoader.h"
#include "audio/SongLevels.h"
#include "controls/WaveformView.h"
#include "platform/Fonts.h"
#include "platform/Guard.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace {
const QColor Maroon(0x80, 0x00, 0x00);
const QColor Lime(0x00, 0xFF, 0x00);

QLineEdit* timeEdit(QWidget* parent, const QString& name)
{
    auto* edit = new QLineEdit(QStringLiteral("00:00"), parent);
    edit->setObjectName(name);
    // The seven-segment face is wider than the one the window was laid out for;
    // condensed, "00:00" fits four edits in a row.
    QFont digits = Fonts::transistor(29);
    digits.setStretch(70);
    edit->setFont(digits);
    edit->setAlignment(Qt::AlignCenter);
    QPalette pal = edit->palette();
    pal.setColor(QPalette::Base, Qt::black);
    pal.setColor(QPalette::Text, Lime);
    pal.setColor(QPalette::Highlight, QColor(0x00, 0x50, 0x00));
    pal.setColor(QPalette::HighlightedText, Lime);
    edit->setPalette(pal);
    edit->setMinimumWidth(78);
    edit->setFixedHeight(40);
    return edit;
}

QLineEdit* textEdit(QWidget* parent, const QString& name)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    return edit;
}
} // namespace

TfrmSongEdit::TfrmSongEdit(QWidget* owner, TSongInfo& songInfo, int sheet, int slot, const SongLevels* levels,
                           SongPreview* preview)
    : QDialog(owner)
    , m_songInfo(songInfo)
    , m_sheet(sheet)
    , m_slot(slot)
    , m_preview(preview)
{
    Fonts::loadProgramFonts();
    setWindowTitle(QStringLiteral("Song Attributes"));
    QPalette pal = palette();
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        pal.setColor(role, Maroon);
    setPalette(pal);

    edtStartTime = timeEdit(this, QStringLiteral("edtStartTime"));
    edtStopTime = timeEdit(this, QStringLiteral("edtStopTime"));
    edtFadeStart = timeEdit(this, QStringLiteral("edtFadeStart"));
    edtFadeDur = timeEdit(this, QStringLiteral("edtFadeDur"));
    edtArtist = textEdit(this, QStringLiteral("edtArtist"));
    edtAlbum = textEdit(this, QStringLiteral("edtAlbum"));
    edtSongTitle = textEdit(this, QStringLiteral("edtSongTitle"));
    edtTimeMeasure = textEdit(this, QStringLiteral("edtTimeMeasure"));
    edtTimeMeasure->setText(QStringLiteral("Minutes:Seconds"));
    edtTimeMeasure->setReadOnly(true);

    BitBtn1 = new QPushButton(QIcon(QStringLiteral(":/songs/ok.svg")), QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QIcon(QStringLiteral(":/songs/cancel.svg")), QStringLiteral("Cancel"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    for (QPushButton* button : {BitBtn1, BitBtn2})
        button->setMinimumWidth(82);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 10, 8, 10);
    layout->setSpacing(2);

    auto* times = new QGridLayout;
    times->setHorizontalSpacing(5);
    times->setVerticalSpacing(2);
    const std::pair<QLineEdit*, const char*> timeFields[] = {{edtStartTime, "Start Time"},
                                                             {edtStopTime, "Stop Time"},
                                                             {edtFadeStart, "Fade Start"},
                                                             {edtFadeDur, "Fade Duration"}};
    int column = 0;
    for (const auto& [edit, caption] : timeFields) {
        auto* label = new QLabel(QLatin1String(caption), this);
        label->setBuddy(edit);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        times->addWidget(edit, 0, column);
        times->addWidget(label, 1, column);
        times->setColumnStretch(column, 1);
        ++column;
    }
    layout->addLayout(times);
    layout->addSpacing(8);

    const std::pair<QLineEdit*, const char*> textFields[] = {{edtArtist, "Artist"},
                                                             {edtAlbum, "Album"},
                                                             {edtSongTitle, "Song Title"},
                                                             {edtTimeMeasure, "Time Measured in"}};
    for (const auto& [edit, caption] : textFields) {
        auto* label = new QLabel(QLatin1String(caption), this);
        label->setBuddy(edit);
        layout->addWidget(label);
        layout->addWidget(edit);
        layout->addSpacing(6);
    }
    layout->addStretch(1);

    // The row of the buttons has room on its left for the song's level.
    lblLevel = new QLabel(this);
    lblLevel->setObjectName(QStringLiteral("lblLevel"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblLevel);
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    layout->addLayout(buttons);
    buildWaveform(layout);

    setTabOrder(edtStartTime, edtStopTime);
    setTabOrder(edtStopTime, edtFadeStart);
    setTabOrder(edtFadeStart, edtFadeDur);
    setTabOrder(edtFadeDur, edtArtist);
    setTabOrder(edtArtist, edtAlbum);
    setTabOrder(edtAlbum, edtSongTitle);
    setTabOrder(edtSongTitle, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    setTabOrder(BitBtn2, edtTimeMeasure);
    edtStartTime->setFocus();

    connectGuarded(BitBtn1, &QPushButton::clicked, this, &TfrmSongEdit::BitBtn1Click);
    connectGuarded(BitBtn2, &QPushButton::clicked, this, &TfrmSongEdit::BitBtn2Click);

    resize(357, 350 + 150);

    TSongRecord rec;
    if (m_songInfo.GetSong(m_sheet, m_slot, rec)) {
        const SongTexts texts = m_songInfo.texts(m_sheet, m_slot);
        edtArtist->setText(texts.Artist);
        edtAlbum->setText(texts.Album);
        edtSongTitle->setText(texts.Title);
        edtStartTime->setText(rec.StartTime.str());
        edtStopTime->setText(rec.StopTime.str());
        edtFadeStart->setText(rec.FadeStart.str());
        edtFadeDur->setText(rec.FadeDuration.str());
        if (levels)
            showLevel(levels->find(m_songInfo.playPath(texts.FileName)));
        m_path = m_songInfo.playPath(texts.FileName);
    }
    m_marks = new SongTimeMarks(*Waveform, {edtStartTime, edtStopTime, edtFadeStart, edtFadeDur}, this);
    if (m_path.isEmpty()) {
        noWaveform(QStringLiteral("The slot holds no song."));
    } else {
        Waveform->setMessage(QStringLiteral("Reading the waveform..."));
        m_peaks->load(m_path);
    }
    updatePreviewButtons();
}

TfrmSongEdit::~TfrmSongEdit()
{
    // What this dialog played ends with it.
    if (m_previewing && m_preview)
        guard([this] { m_preview->stopPreview(); });
}

void TfrmSongEdit::buildWaveform(QVBoxLayout* layout)
{
    layout->addSpacing(8);
    Waveform = new WaveformView(this);
    Waveform->setObjectName(QStringLiteral("Waveform"));
    layout->addWidget(Waveform);
    btnPlayHere = new QPushButton(QStringLiteral("&Play From Here"), this);
    btnPlayHere->setObjectName(QStringLiteral("btnPlayHere"));
    btnStopPreview = new QPushButton(QStringLiteral("St&op"), this);
    btnStopPreview->setObjectName(QStringLiteral("btnStopPreview"));
    for (QPushButton* button : {btnPlayHere, btnStopPreview}) {
        QPalette pal = button->palette();
        pal.setColor(QPalette::Disabled, QPalette::ButtonText, Qt::gray);
        button->setPalette(pal);
    }
    auto* row = new QHBoxLayout;
    row->addWidget(btnPlayHere);
    row->addWidget(btnStopPreview);
    row->addStretch(1);
    layout->addLayout(row);

    m_peaks = new PeaksLoader(this);
    connectGuarded(m_peaks, &PeaksLoader::loaded, this, &TfrmSongEdit::showPeaks);
    connectGuarded(m_peaks, &PeaksLoader::failed, this, &TfrmSongEdit::noWaveform);
    connectGuarded(Waveform, &WaveformView::clickedAt, this, &TfrmSongEdit::WaveformClick);
    connectGuarded(btnPlayHere, &QPushButton::clicked, this, &TfrmSongEdit::btnPlayHereClick);
    connectGuarded(btnStopPreview, &QPushButton::clicked, this, &TfrmSongEdit::btnStopPreviewClick);
    m_previewTimer = new QTimer(this);
    m_previewTimer->setInterval(50);
    connectGuarded(m_previewTimer, &QTimer::timeout, this, &TfrmSongEdit::PreviewTimerTimer);
}

void TfrmSongEdit::showPeaks(const WaveformPeaks& peaks)
{
    if (peaks.peaks.empty() || peaks.seconds <= 0.0) {
        noWaveform(QStringLiteral("The file holds no sound."));
        return;
    }
    Waveform->setPeaks(QVector<float>(peaks.peaks.cbegin(), peaks.peaks.cend()), peaks.seconds);
    Waveform->setToolTip(QStringLiteral("Drag a mark to set its time; click to play from there."));
    updatePreviewButtons();
}

void TfrmSongEdit::noWaveform(const QString& reason)
{
    Waveform->setMessage(QStringLiteral("No waveform"));
    Waveform->setToolTip(reason);
    updatePreviewButtons();
}

QString TfrmSongEdit::previewHint() const
{
    if (!m_preview)
        return QStringLiteral("No preview output: the song plays only on the show's output.");
    return m_preview->unavailable();
}

void TfrmSongEdit::updatePreviewButtons()
{
    const QString why = previewHint();
    const bool canPlay = why.isEmpty() && Waveform->hasWaveform();
    btnPlayHere->setEnabled(canPlay);
    btnPlayHere->setToolTip(why.isEmpty() ? QStringLiteral("Plays on the preview output from the point "
                                                           "last clicked on the waveform.")
                                          : why);
    btnPlayHere->setStatusTip(btnPlayHere->toolTip());
    btnStopPreview->setEnabled(m_previewing);
}

void TfrmSongEdit::WaveformClick(double seconds)
{
    m_from = seconds;
    if (previewHint().isEmpty())
        btnPlayHereClick();
    else
        Waveform->setPlayLine(seconds);
}

void TfrmSongEdit::btnPlayHereClick()
{
    if (!m_preview || !previewHint().isEmpty() || m_path.isEmpty())
        return;
    const double from = m_from.value_or(Waveform->markPosition(WaveformView::StartMark));
    m_previewing = true; // even when the start fails: what played before has stopped
    const auto settle = qScopeGuard([this] { PreviewTimerTimer(); });
    m_preview->playFrom(m_path, from);
    Waveform->setPlayLine(from);
    m_previewTimer->start();
}

void TfrmSongEdit::btnStopPreviewClick()
{
    if (m_preview && m_previewing)
        m_preview->stopPreview();
    PreviewTimerTimer();
}

void TfrmSongEdit::PreviewTimerTimer()
{
    const std::optional<double> at = m_previewing && m_preview ? m_preview->previewPosition() : std::nullopt;
    if (!at) {
        m_previewing = false;
        m_previewTimer->stop();
        Waveform->setPlayLine(m_from);
    } else {
        Waveform->setPlayLine(at);
    }
    updatePreviewButtons();
}

void TfrmSongEdit::showLevel(const std::optional<Loudness>& loudness)
{
    if (!loudness) {
        lblLevel->setText(QStringLiteral("Level: not measured yet"));
        lblLevel->setToolTip(QStringLiteral("The song is measured while Even Levels is on."));
        return;
    }
    const auto db = [](double v) {
        return std::isfinite(v) ? QString::number(v, 'f', 1) : QStringLiteral("-inf");
    };
    const double gain = SongLevels::gainDb(*loudness);
    const QString signedGain =
        (gain >= 0.05 ? QStringLiteral("+") : QString()) + QString::number(gain, 'f', 1);
    lblLevel->setText(QStringLiteral("Level: %1 LUFS, %2 dB").arg(db(loudness->integratedLufs), signedGain));
    lblLevel->setToolTip(
        QStringLiteral("Loudness %1 LUFS, true peak %2 dBTP: with Even Levels it plays at %3 dB.")
            .arg(db(loudness->integratedLufs), db(loudness->truePeakDb), signedGain));
}

void TfrmSongEdit::BitBtn1Click()
{
    // The dialog closes with OK whatever happens to the store.
    const auto close = qScopeGuard([this] { accept(); });
    TSongRecord rec;
    if (!m_songInfo.GetSong(m_sheet, m_slot, rec))
        return;
    // Texts in any script are kept whole; the record holds the nearest it can of them.
    SongTexts texts = m_songInfo.texts(m_sheet, m_slot);
    texts.Artist = cutText(edtArtist->text(), 40);
    texts.Album = cutText(edtAlbum->text(), 40);
    texts.Title = cutText(edtSongTitle->text(), 40);
    rec.StartTime.set(edtStartTime->text().left(6));
    rec.StopTime.set(edtStopTime->text().left(6));
    rec.FadeStart.set(edtFadeStart->text().left(6));
    rec.FadeDuration.set(edtFadeDur->text().left(6));
    m_songInfo.SetSong(m_sheet, m_slot, rec, texts);
}

void TfrmSongEdit::BitBtn2Click()
{
    reject();
}
