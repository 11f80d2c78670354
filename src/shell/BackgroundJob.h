#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <functional>
#include <utility>

// Runs work on a pooled thread and hands its result to done in the GUI thread, unless the
// receiver has gone meanwhile. work must not throw and must touch no window and no catalogue
// record: it gets what it needs by value. A caller that starts several keeps its own count to
// drop stale results.
template <typename R>
void RunInBackground(QObject* receiver, std::function<R()> work, std::function<void(R)> done) {
    QPointer<QObject> guard(receiver);
    QThreadPool::globalInstance()->start([guard, work = std::move(work), done = std::move(done)]() mutable {
        R result = work();
        // Posted to the application, which outlives every window; the guard is read there.
        QMetaObject::invokeMethod(
            qApp,
            [guard, done = std::move(done), result = std::move(result)]() mutable {
                if (guard) done(std::move(result));
            },
            Qt::QueuedConnection);
    });
}
