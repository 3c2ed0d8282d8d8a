#include "OncePerAccount.h"

#include <QSet>
#include <mutex>

bool FirstTimeFor(const char* topic, const AccountRecord& account) {
    static std::mutex mutex;
    static QSet<QString> asked;
    const QString key = QLatin1String(topic) + QLatin1Char('\n') + account.MailServer +
                        QLatin1Char('\n') + account.UserName;
    const std::lock_guard lock(mutex);
    if (asked.contains(key))
        return false;
    asked.insert(key);
    return true;
}
