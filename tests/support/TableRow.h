#pragma once

// Tables whose rows carry their own check: the test's check function with the row's data
// bound in, so a table has one column and nothing to fetch.

#include <QTest>

#include <functional>

using RowCheck = std::function<void()>;
Q_DECLARE_METATYPE(RowCheck)

// Call in a _data function; returns the row builder: row(tag, arguments of check...).
template <class Test, class... P> auto CheckRows(Test* test, void (Test::*check)(P...)) {
    QTest::addColumn<RowCheck>("check");
    return [=](const QByteArray& tag, auto... args) {
        QTest::newRow(tag.constData()) << RowCheck([=] { (test->*check)(args...); });
    };
}

inline void RunCheck() {
    QFETCH(RowCheck, check);
    check();
}
