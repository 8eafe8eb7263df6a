#include "sessions/SessionRecord.h"

namespace lb {

static QStringList withKeywords(QStringList head, const QString& stem) {
    for (int k = 1; k <= 16; ++k)
        head.append(stem + QString::number(k));
    return head;
}

const QStringList& sessionKeys() {
    static const QStringList keys =
        withKeywords({"url", "title", "email", "description", "catagory", "name", "last", "company",
                      "address1", "address2", "country", "city", "state", "phone", "fax", "zip"},
                     QStringLiteral("key"));
    return keys;
}

const QStringList& sessionControlNames() {
    static const QStringList names = withKeywords(
        {"urllist", "title", "email", "Description", "catagory", "name", "LastN", "Company",
         "Address1", "Address2", "Country", "City", "State", "Phone", "Fax", "Zip"},
        QStringLiteral("Key"));
    return names;
}

const QStringList& sessionLabels() {
    static const QStringList labels = [] {
        QStringList l = {
            "Site_Url:",   "Title:",   "Email:",    "Description:", "Category:", "First Name:",
            "Last Name:",  "Company:", "Address1:", "Address2:",    "Country:",  "City:",
            "State/Prov:", "Phone:",   "Fax:",      "Postal Code:"};
        for (int k = 0; k < 16; ++k)
            l.append(QString());
        return l;
    }();
    return labels;
}

int sessionMaxLength(int field) {
    switch (field) {
    case SessionRecord::Url:
        return 100;
    case SessionRecord::Description:
        return 150;
    case SessionRecord::Category:
        return 0;
    default:
        return field >= SessionRecord::Key1 ? 150 : 60;
    }
}

const QStringList& sessionCategories() {
    static const QStringList items = {
        "Miscellaneous", "Automotive", "Business",      "Communications", "Community",
        "Computers",     "Consumer",   "Education",     "Employment",     "Entertainment",
        "Finance",       "Government", "Health",        "Internet",       "Manufacturing",
        "Media",         "Medical",    "Miscellaneous", "News",           "Opportunities",
        "Personal",      "Politics",   "Publishing",    "Recreation",     "Reference",
        "Religion",      "Sci-Tech",   "Services",      "Transportation", "Travel",
        "Web_Stuff"};
    return items;
}

} // namespace lb
