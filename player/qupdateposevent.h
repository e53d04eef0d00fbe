#pragma once

#include <QEvent>

// Posted to the engine bridge for every engine event it passes on; 100 marks the
// end of the media.
class QUpdatePosEvent : public QEvent
{
public:
    static constexpr QEvent::Type EventType = QEvent::Type(5001);

    explicit QUpdatePosEvent(int position)
        : QEvent(EventType)
        , m_position(position)
    { }
    int position() const { return m_position; }

private:
    int m_position;
};
