// SPDX-License-Identifier: GPL-3.0-or-later
#include "SoundNews.h"

#include "audio/OutputDevices.h"
#include "core/ShowCore.h"

SoundNews::SoundNews(ShowCore& show, OutputDevices& outputs)
    : m_outputs(outputs)
{
    m_outputs.setOutputMissingHandler(
        [form = QPointer<ShowCore>(&show)](const QString& output, bool missing) {
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
    m_outputs.setServerLostHandler([form = QPointer<ShowCore>(&show)](const QString& message) {
        if (!form)
            return;
        if (message.isEmpty())
            form->clearNews(ShowCore::ServerNews);
        else
            form->sayNews(ShowCore::ServerNews, message);
    });
}

SoundNews::~SoundNews()
{
    m_outputs.setOutputMissingHandler({});
    m_outputs.setServerLostHandler({});
}
