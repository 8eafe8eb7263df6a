#pragma once
// Which help page each help button (and the start of the main window) shows.
#include <optional>
#include <QString>

namespace lb {

enum class HelpTopic {
    StartUp,         // main window, while it is created
    SiteInfo,        // main window `SiteHelp`
    Session,         // main window `SessionHelp`
    Submit,          // main window `SubHelp`
    Results,         // main window `ResHelp`
    EngineDatabase,  // main window `BaseHelp`
    Crawler,         // FFA crawler window `SiteHelp`
    CrawlerSettings, // crawler options window `Button4`
    MetaCreator,     // META tag creator, when the main window's `Meta` button opens it
};

// The page relative to the program folder, as "\help\results.htm".
QString helpPage(HelpTopic topic);
// The page's full path under the program folder.
QString helpPagePath(const QString& appDir, HelpTopic topic);
// The topic of a help button on the main window, by the button's objectName
// ("SiteHelp", "SessionHelp", "SubHelp", "ResHelp", "BaseHelp").
std::optional<HelpTopic> mainWindowHelpTopic(const QString& buttonName);

} // namespace lb
