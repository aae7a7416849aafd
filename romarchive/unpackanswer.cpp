#include "unpackanswer.h"

#include "apperror.h"

#include <QDir>
#include <QStandardPaths>

QString romCacheFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/roms");
}

void unpackAnswer(const QStringList &answer, const QString &cacheFolder, const ChooseMembers &choose,
                  const AnswerProgress &progress, const std::function<void(const RomSource &)> &add)
{
    for (qsizetype item = 0; item < answer.size(); ++item) {
        const QString &path = answer[item];
        if (!isRomArchive(path)) {
            add({path, {}});
            continue;
        }
        const auto keepGoing = [&progress, item] { return progress(item); };
        if (!keepGoing())
            throw AppError::dialogCancelled();
        RomArchive archive(path, cacheFolder);
        const QList<qsizetype> chosen = archive.members().size() == 1 ? QList<qsizetype>{0} : choose(archive);
        for (const QString &rom : archive.unpack(chosen, keepGoing))
            add({QDir::toNativeSeparators(rom), path});
    }
}
