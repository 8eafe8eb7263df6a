#include "reports/HelpPages.h"

#include "common/Paths.h"

namespace lb {

QString helpPage(HelpTopic topic) {
    switch (topic) {
    case HelpTopic::StartUp:
        return QStringLiteral("\\help\\help.htm");
    case HelpTopic::SiteInfo:
        return QStringLiteral("\\help\\siteinfo.htm");
    case HelpTopic::Session:
        return QStringLiteral("\\help\\session.htm");
    case HelpTopic::Submit:
        return QStringLiteral("\\help\\submit.htm");
    case HelpTopic::Results:
        return QStringLiteral("\\help\\results.htm");
    case HelpTopic::EngineDatabase:
        return QStringLiteral("\\help\\manual.htm");
    case HelpTopic::Crawler:
        return QStringLiteral("\\help\\crawler.htm");
    case HelpTopic::CrawlerSettings:
        return QStringLiteral("\\help\\settings.htm");
    case HelpTopic::MetaCreator:
        return QStringLiteral("\\help\\meta.htm");
    }
    return QStringLiteral("\\help\\help.htm");
}

QString helpPagePath(const QString& appDir, HelpTopic topic) {
    return appPath(appDir, helpPage(topic));
}

std::optional<HelpTopic> mainWindowHelpTopic(const QString& buttonName) {
    if (buttonName == QLatin1String("SiteHelp"))
        return HelpTopic::SiteInfo;
    if (buttonName == QLatin1String("SessionHelp"))
        return HelpTopic::Session;
    if (buttonName == QLatin1String("SubHelp"))
        return HelpTopic::Submit;
    if (buttonName == QLatin1String("ResHelp"))
        return HelpTopic::Results;
    if (buttonName == QLatin1String("BaseHelp"))
        return HelpTopic::EngineDatabase;
    return std::nullopt;
}

} // namespace lb
