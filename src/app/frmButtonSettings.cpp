// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmButtonSettings.h"

#include "platform/Fonts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPoint>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace {

/// The depth of the dip: "Off", or 3 to 30 dB. 1 and 2 dB are not offered: a step from Off
/// goes to 3, and a step down from 3 to Off.
class DuckSpinBox : public QSpinBox {
public:
    explicit DuckSpinBox(QWidget* parent)
        : QSpinBox(parent)
    {
        setRange(0, static_cast<int>(ButtonSettings::MaxDuckDb));
        setSpecialValueText(QStringLiteral("Off"));
        setSuffix(QStringLiteral(" dB"));
    }

    void stepBy(int steps) override
    {
        const int min = static_cast<int>(ButtonSettings::MinDuckDb);
        if (value() == 0 && steps > 0)
            setValue(min + steps - 1);
        else if (steps < 0 && value() + steps < min)
            setValue(0);
        else
            QSpinBox::stepBy(steps);
    }

protected:
    QValidator::State validate(QString& text, int& pos) const override
    {
        const QValidator::State state = QSpinBox::validate(text, pos);
        if (state == QValidator::Acceptable && tooShallow(valueFromText(text)))
            return QValidator::Intermediate; // 1 may yet become 10, 2 may become 25
        return state;
    }

    void fixup(QString& text) const override
    {
        QSpinBox::fixup(text);
        if (tooShallow(valueFromText(text)))
            text = textFromValue(static_cast<int>(ButtonSettings::MinDuckDb));
    }

private:
    [[nodiscard]] static bool tooShallow(int db) { return db > 0 && db < ButtonSettings::MinDuckDb; }
};

/// The channels one needs at least to play on `first` and `count`.
int channelsNeeded(int first, int count)
{
    return first <= 0 ? 2 : first + count - 1;
}

} // namespace

TfrmButtonSettings::TfrmButtonSettings(QWidget* owner, const QString& title, const ButtonSettings& settings,
                                       const QList<OutputDevices::Device>& outputs)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_outputs(outputs)
{
    setWindowTitle(QStringLiteral("Button Settings"));
    setFont(Fonts::msSansSerif(11));
    auto* layout = new QVBoxLayout(this);

    auto* song = new QLabel(title, this);
    song->setObjectName(QStringLiteral("lblSong"));
    QFont bold = song->font();
    bold.setBold(true);
    song->setFont(bold);
    layout->addWidget(song);

    auto* volumeRow = new QHBoxLayout;
    auto* volumeLabel = new QLabel(QStringLiteral("&Volume:"), this);
    edVolume = new QDoubleSpinBox(this);
    edVolume->setRange(ButtonSettings::MinVolumeDb, ButtonSettings::MaxVolumeDb);
    edVolume->setDecimals(1);
    edVolume->setSingleStep(0.5);
    edVolume->setSuffix(QStringLiteral(" dB"));
    edVolume->setValue(settings.volumeDb);
    edVolume->setToolTip(
        QStringLiteral("On top of even levels and the fade. Above 0 dB the song is raised, and "
                       "its loudest peaks may be clipped."));
    volumeLabel->setBuddy(edVolume);
    volumeRow->addWidget(volumeLabel);
    volumeRow->addWidget(edVolume);
    auto* range = new QLabel(QStringLiteral("-40 to +6 dB, on top of its level and the fade"), this);
    range->setEnabled(false);
    volumeRow->addWidget(range);
    volumeRow->addStretch();
    layout->addLayout(volumeRow);

    auto* modes = new QGroupBox(QStringLiteral("A press"), this);
    auto* modesLayout = new QVBoxLayout(modes);
    rbRestart = new QRadioButton(QStringLiteral("&Restart: plays the song from its beginning"), modes);
    rbToggle = new QRadioButton(QStringLiteral("&Toggle: a second press stops it"), modes);
    rbHold = new QRadioButton(QStringLiteral("&Hold: plays while held, stops when let go"), modes);
    for (QRadioButton* b : {rbRestart, rbToggle, rbHold})
        modesLayout->addWidget(b);
    rbRestart->setChecked(settings.mode == ButtonSettings::Mode::Restart);
    rbToggle->setChecked(settings.mode == ButtonSettings::Mode::Toggle);
    rbHold->setChecked(settings.mode == ButtonSettings::Mode::Hold);
    layout->addWidget(modes);

    cbLoop = new QCheckBox(QStringLiteral("&Loop: starts again at its end until stopped or faded"), this);
    cbLoop->setChecked(settings.loop);
    layout->addWidget(cbLoop);

    cbLayer = new QCheckBox(QStringLiteral("Plays over what plays"), this);
    cbLayer->setToolTip(QStringLiteral("Its song starts beside the song that plays, which plays on."));
    cbLayer->setChecked(settings.layer);
    layout->addWidget(cbLayer);

    auto* routing = new QGridLayout;
    auto* outputLabel = new QLabel(QStringLiteral("&Output:"), this);
    cboOutput = new QComboBox(this);
    cboOutput->addItem(QStringLiteral("The show's output"), QString());
    cboOutput->addItem(QStringLiteral("Preview output"), ButtonSettings::PreviewOutput);
    for (const OutputDevices::Device& d : std::as_const(m_outputs)) {
        cboOutput->addItem(d.description.isEmpty() ? d.name : d.description, d.name);
        cboOutput->setItemData(cboOutput->count() - 1, d.name, Qt::ToolTipRole);
    }
    int at = cboOutput->findData(settings.output);
    if (at < 0) { // not there now; still its choice, with the channels it had
        cboOutput->addItem(settings.output + QStringLiteral(" (missing)"), settings.output);
        m_outputs.append(
            {settings.output, QString(), channelsNeeded(settings.firstChannel, settings.channelCount)});
        at = cboOutput->count() - 1;
    }
    cboOutput->setCurrentIndex(at);
    outputLabel->setBuddy(cboOutput);
    routing->addWidget(outputLabel, 0, 0);
    routing->addWidget(cboOutput, 0, 1);
    auto* channelsLabel = new QLabel(QStringLiteral("C&hannels:"), this);
    cboChannels = new QComboBox(this);
    channelsLabel->setBuddy(cboChannels);
    routing->addWidget(channelsLabel, 1, 0);
    routing->addWidget(cboChannels, 1, 1);
    routing->setColumnStretch(2, 1);
    layout->addLayout(routing);
    offerChannels(settings.firstChannel, settings.channelCount);
    connect(cboOutput, &QComboBox::currentIndexChanged, this, [this, channelsLabel] {
        const QPoint chosen = cboChannels->currentData().toPoint();
        offerChannels(chosen.x(), chosen.y());
        channelsLabel->setEnabled(cboChannels->isEnabled());
    });
    channelsLabel->setEnabled(cboChannels->isEnabled());

    auto* duckRow = new QHBoxLayout;
    auto* duckLabel = new QLabel(QStringLiteral("&Dips the others by"), this);
    edDuck = new DuckSpinBox(this);
    edDuck->setValue(settings.duckDb >= ButtonSettings::MinDuckDb ? static_cast<int>(settings.duckDb) : 0);
    duckLabel->setBuddy(edDuck);
    duckRow->addWidget(duckLabel);
    duckRow->addWidget(edDuck);
    auto* duckNote = new QLabel(QStringLiteral("Lowered over 0.3 s, back over 1 s after it ends"), this);
    duckNote->setEnabled(false);
    duckRow->addWidget(duckNote);
    duckRow->addStretch();
    layout->addLayout(duckRow);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btnOK = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    btnOK->setDefault(true);
    btnOK->setAutoDefault(true);
    btnOK->setFixedSize(75, 25);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    // Escape answers Cancel: QDialog rejects on Escape.
    btnCancel =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"), this);
    btnCancel->setAutoDefault(false);
    btnCancel->setFixedSize(75, 25);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

ButtonSettings TfrmButtonSettings::settings() const
{
    ButtonSettings s;
    s.volumeDb = edVolume->value();
    s.mode = rbToggle->isChecked() ? ButtonSettings::Mode::Toggle
             : rbHold->isChecked() ? ButtonSettings::Mode::Hold
                                   : ButtonSettings::Mode::Restart;
    s.loop = cbLoop->isChecked();
    s.layer = cbLayer->isChecked();
    s.output = cboOutput->currentData().toString();
    const QPoint channels = cboChannels->isEnabled() ? cboChannels->currentData().toPoint() : QPoint(0, 2);
    s.firstChannel = channels.x();
    s.channelCount = channels.y();
    s.duckDb = edDuck->value();
    return s;
}

void TfrmButtonSettings::offerChannels(int first, int count)
{
    const QString name = cboOutput->currentData().toString();
    const auto device = std::find_if(m_outputs.cbegin(), m_outputs.cend(),
                                     [&name](const OutputDevices::Device& d) { return d.name == name; });
    const int channels = name.isEmpty() || name == ButtonSettings::PreviewOutput || device == m_outputs.cend()
                             ? 2
                             : std::min(device->channels, ButtonSettings::MaxChannel);
    cboChannels->clear();
    // The pairs first, "Channels 1-2" being the output's own stereo; then each channel alone.
    for (int c = 1; c + 1 <= channels; c += 2)
        cboChannels->addItem(QStringLiteral("Channels %1-%2").arg(c).arg(c + 1), QPoint(c == 1 ? 0 : c, 2));
    for (int c = 1; c <= channels; ++c)
        cboChannels->addItem(QStringLiteral("Channel %1").arg(c), QPoint(c, 1));
    const QPoint wanted = first <= 1 && count == 2 ? QPoint(0, 2) : QPoint(first, count);
    const int at = cboChannels->findData(wanted);
    cboChannels->setCurrentIndex(at < 0 ? 0 : at);
    // An output of two channels plays in stereo: nothing to choose.
    cboChannels->setEnabled(channels > 2);
}
