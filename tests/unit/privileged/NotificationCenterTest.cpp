#include "Platform/NotificationCenter.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

using Platform::Notification;
using Platform::NotificationCenter;

TEST(NotificationCenterTest, ObserversOfTheNameAreCalledInOrderUntilRemoved) {
    NotificationCenter& center = NotificationCenter::shared();
    QStringList calls;
    int object = 0;
    const auto first = center.addObserver("Ended", [&](const Notification& notification) {
        EXPECT_EQ(notification.name, "Ended");
        EXPECT_EQ(notification.object, &object);
        calls << "first";
    });
    const auto other =
        center.addObserver("Started", [&](const Notification&) { calls << "other"; });
    NotificationCenter::ObserverToken second = 0;
    second = center.addObserver("Ended", [&](const Notification&) {
        calls << "second";
        center.removeObserver(second);
    });

    center.postNotification("Ended", &object);
    center.postNotification("Ended", &object);
    EXPECT_EQ(calls, QStringList({"first", "second", "first"}));

    center.removeObserver(first);
    center.removeObserver(other);
    calls.clear();
    center.postNotification("Ended", nullptr);
    EXPECT_TRUE(calls.isEmpty());
}

TEST(NotificationCenterTest, AnObserverRemovedByAnEarlierOneIsNotCalled) {
    NotificationCenter& center = NotificationCenter::shared();
    int laterCalls = 0;
    NotificationCenter::ObserverToken later = 0;
    const auto earlier =
        center.addObserver("Once", [&](const Notification&) { center.removeObserver(later); });
    later = center.addObserver("Once", [&](const Notification&) { ++laterCalls; });
    center.postNotification("Once", nullptr);
    EXPECT_EQ(laterCalls, 0);
    center.removeObserver(earlier);
}

} // namespace
