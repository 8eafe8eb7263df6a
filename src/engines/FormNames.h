#pragma once
// The names submission forms are read by, shared by the form analyser of the
// engine editor and the FFA page analysis: the form-field names by the role
// they play, and the three category lists a form's options are recognised by.
#include <QByteArrayView>

namespace lb {

enum class FieldRole {
    Url,
    Email,
    Name,
    Category, // only a SELECT names the category variable
    Title,
    Description,
    Phone,
    Fax,
    City,
    Keywords,
    Zip,
    State,
    Country,
    Address,
};

struct FormFieldName {
    const char* name; // upper case
    FieldRole role;
};

// In the order the forms' fields are matched against them.
inline constexpr FormFieldName FormFieldNames[32] = {
    {"URL", FieldRole::Url},
    {"NEWURL", FieldRole::Url},
    {"Q", FieldRole::Url},
    {"QUERY", FieldRole::Url},
    {"PAGE", FieldRole::Url},
    {"LINKADDR", FieldRole::Url},
    {"EMAIL", FieldRole::Email},
    {"CONTACT_EMAIL", FieldRole::Email},
    {"FROM", FieldRole::Email},
    {"REPLY_EMAIL", FieldRole::Email},
    {"NAME", FieldRole::Name},
    {"CONTACT_NAME", FieldRole::Name},
    {"CONTACT", FieldRole::Name},
    {"REALNAME", FieldRole::Name},
    {"USRNAME", FieldRole::Name},
    {"SECTION", FieldRole::Category},
    {"SELECTION", FieldRole::Category},
    {"CATAGORY", FieldRole::Category},
    {"TITLE", FieldRole::Title},
    {"SITENAME", FieldRole::Title},
    {"URLNAME", FieldRole::Title},
    {"SITETITLE", FieldRole::Title},
    {"DESCRIPTION", FieldRole::Description},
    {"TEL", FieldRole::Phone},
    {"PHONE", FieldRole::Phone},
    {"FAX", FieldRole::Fax},
    {"CITY", FieldRole::City},
    {"KEYWORDS", FieldRole::Keywords},
    {"ZIP", FieldRole::Zip},
    {"STATE", FieldRole::State},
    {"COUNTRY", FieldRole::Country},
    {"ADDRESS", FieldRole::Address},
};

// Items 0, 1 and 2 of the category type list ("Cat1", "Cat2", "Cat3" in the
// category file): 7, 10 and 30 names.
inline constexpr const char* SmallestCategorySet[7] = {"Business",      "Computers",  "Education",
                                                       "Entertainment", "Government", "Personal",
                                                       "Miscellaneous"};
inline constexpr const char* MiddleCategorySet[10] = {
    "Business", "Computers", "Education",  "Entertainment", "Government",
    "Personal", "Health",    "Recreation", "Web Stuff",     "Miscellaneous"};
inline constexpr const char* LargestCategorySet[30] = {
    "Automotive", "Business",      "Communications", "Community",     "Computers",
    "Consumer",   "Education",     "Employment",     "Entertainment", "Finance",
    "Government", "Health",        "Internet",       "Manufacturing", "Media",
    "Medical",    "Miscellaneous", "News",           "Opportunities", "Personal",
    "Politics",   "Publishing",    "Recreation",     "Reference",     "Religion",
    "Sci-Tech",   "Services",      "Transportation", "Travel",        "Web_Stuff"};

// The item of the category type list whose every name occurs in the options'
// text, the largest list first: 2, 1 or 0; -1 when none does.
int categoryTypeItem(QByteArrayView options);

} // namespace lb
