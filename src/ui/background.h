#pragma once

#include <QEventLoop>
#include <QThread>

#include <functional>
#include <optional>

// Runs `work` on a thread of its own while this thread's events go on, and gives its result:
// the window keeps painting while a signing waits for an authority or a responder.
template <typename T> T whileWaiting(const std::function<T()>& work)
{
    std::optional<T> result;
    QEventLoop loop;
    QThread* thread = QThread::create([&] { result = work(); });
    QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
    thread->start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    thread->wait();
    delete thread;
    return std::move(*result);
}
