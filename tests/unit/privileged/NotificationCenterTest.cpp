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
    NotificationCenter::ObserverToken third = 0;
    second = center.addObserver("Ended", [&](const Notification&) {
        calls << "second";
        center.removeObserver(second);
        center.removeObserver(third); // not called once removed by an earlier observer
    });
    third = center.addObserver("Ended", [&](const Notification&) { calls << "third"; });

    center.postNotification("Ended", &object);
    center.postNotification("Ended", &object);
    EXPECT_EQ(calls, QStringList({"first", "second", "first"}));

    center.removeObserver(first);
    center.removeObserver(other);
    calls.clear();
    center.postNotification("Ended", nullptr);
    EXPECT_TRUE(calls.isEmpty());
}

} // namespace
