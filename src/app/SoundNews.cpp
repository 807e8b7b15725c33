// SPDX-License-Identifier: GPL-3.0-or-later
#include "SoundNews.h"

#include "app/frmMain.h"
#include "audio/OutputDevices.h"

SoundNews::SoundNews(TMainForm& form, OutputDevices& outputs)
    : m_outputs(outputs)
{
    m_outputs.setOutputMissingHandler(
        [form = QPointer<TMainForm>(&form)](const QString& output, bool missing) {
            if (!form)
                return;
            if (missing)
                form->sayNews(OutputNews,
                              QStringLiteral("The output \"%1\" is not there: songs play on the default "
                                             "output until it returns.")
                                  .arg(output));
            else
                form->clearNews(OutputNews);
        });
    m_outputs.setServerLostHandler([form = QPointer<TMainForm>(&form)](const QString& message) {
        if (!form)
            return;
        if (message.isEmpty())
            form->clearNews(TMainForm::ServerNews);
        else
            form->sayNews(TMainForm::ServerNews, message);
    });
}

SoundNews::~SoundNews()
{
    m_outputs.setOutputMissingHandler({});
    m_outputs.setServerLostHandler({});
}
