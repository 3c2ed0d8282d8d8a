#include "StringTable.h"

#include <QHash>

namespace {

struct Entry {
    int id;
    const char* text;
};

// Markers head each group and are never shown.
constexpr Entry Table[] = {
    {102, "Hollimere"},
    {109, "****GENERAL******"},
    {111, "OK"},
    {112, "Cancel"},
    {123, "*******Schedule Dialog*******"},
    {124, "Schedule Properties"},
    {125, "Specify the Interval to check for mail:"},
    {126, "Minutes"},
    {127, "Check the days that you do not wish to retrieve mail:"},
    {128, "Sunday"},
    {129, "Monday"},
    {130, "Tuesday"},
    {131, "Wednesday"},
    {132, "Thursday"},
    {133, "Friday"},
    {134, "Saturday"},
    {135, "Check All"},
    {165, "*******SMTP Dialog*******"},
    {166, "SMTP Server Properties"},
    {167, "Server name:"},
    {168, "SMTP Port:"},
    {169, "Local Domain (DNS) Name: (i.e. mail.example.org)"},
    {170, "Username:"},
    {171, "Password:"},
    {175, "Verify Connection"},
    {176, "*******Account Properties********"},
    {177, "Account Properties"},
    {178, "Account Name:"},
    {179, "Mail Server:"},
    {180, "Username:"},
    {181, "Password:"},
    {182, "Confirm Password:"},
    {183, "Authentication Method:"},
    {184, "Exchange User:"},
    {185, "Assigned to Computer in Array:"},
    {186, "Remote Domain Name:"},
    {187, "Global ISP Mail Host"},
    {188, "Keep Mail on Host"},
    {196, "******Menu******"},
    {198, "&File"},
    {199, "E&xit"},
    {200, "Op&tions"},
    {201, "Auto &Save"},
    {202, "&Help"},
    {203, "&Contents..."},
    {205, "Submit a &Bug"},
    {206, "Submit a Co&mment"},
    {207, "&About"},
    {211, "******Status Bar******"},
    {215, "Service Status: "},
    {217, "File Status: "},
    {218, "Changes Detected, auto save off"},
    {219, "Unable to save"},
    {220, "Ready"},
    {221, "Offline"},
    {222, "Online"},
    {223, "Not Installed"},
    {224, "*****TreeView*****"},
    {226, "Pop Accounts"},
    {227, "SMTP Settings"},
    {228, "Service Setup"},
    {229, "Options"},
    {233, "******ListView*****"},
    {234, "***POP Accounts***"},
    {236, "***Service settings***"},
    {241, "***Options***"},
    {270, "*******Log Dialog*******"},
    {271, "Log Properties"},
    {272, "Logging Mode:"},
    {273, "Low"},
    {274, "Medium"},
    {275, "High"},
    {281, "****Dialog Boxes *****"},
    {294, "Missing Information"},
    {295, "Please complete all fields"},
    {296, "Connection"},
    {297, "responded with correct response"},
    {298, "Server could not be reached on this port!"},
    {308, "Password"},
    {309, "Passwords do not match"},
    {312, "About"},
    {313, "System Information Is Unavailable At This Time"},
    {314, "Service"},
    {315, "Service was not located on your local machine"},
    {322, "******About Dialog*******"},
    {323, "About"},
    {324, "Version"},
    {325, "Engine Build: "},
    {327, "Interface Build: "},
    {329, "System Info..."},
    {350, "***Query Mail***"},
    {351, "Query Mail"},
    {352, "Would you like to query the POP mail accounts for new mail that are setup on this "
          "server?"},
    {353, "Mail has been queried, do not query mail again until the previous query has "
          "finished.  Check the application event log."},
    {354, "Error, unable to query mail"},
};

} // namespace

QString LoadResString(int id) {
    static const QHash<int, QString> texts = [] {
        QHash<int, QString> map;
        for (const Entry& entry : Table)
            map.insert(entry.id, QString::fromLatin1(entry.text));
        return map;
    }();
    const auto found = texts.constFind(id);
    Q_ASSERT_X(found != texts.constEnd(), "LoadResString", "no such entry");
    return found != texts.constEnd() ? *found : QString();
}
