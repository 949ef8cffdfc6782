#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

// Works a modal window that the code under test opens while the driver
// lives: polls for the first modal widget of type Window and hands it to the
// action, which typically fills boxes and clicks a button that closes it.
// The polling ends with the driver, so a window that never opened leaves
// nothing behind for the next test.
template <typename Window> class ModalDriver final
{
public:
    explicit ModalDriver(std::function<void(Window*)> action)
        : m_action(std::move(action)), m_timer(std::make_unique<QTimer>())
    {
        m_timer->setInterval(10);
        QObject::connect(m_timer.get(), &QTimer::timeout, [this] {
            if (auto* window = qobject_cast<Window*>(QApplication::activeModalWidget())) {
                m_timer->stop();
                ++m_handled;
                m_action(window);
            }
        });
        m_timer->start();
    }

    ModalDriver(const ModalDriver&) = delete;
    ModalDriver& operator=(const ModalDriver&) = delete;

    int handled() const { return m_handled; }

private:
    std::function<void(Window*)> m_action;
    std::unique_ptr<QTimer> m_timer;
    int m_handled = 0;
};
