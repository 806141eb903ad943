#pragma once

#include <QObject>
#include <Qt>
#include <map>
#include <vector>

// Keeps a held key from acting again and again on the widgets it watches: one press of the
// user's, one action. The window system sends a held key as a release and a press at the same
// instant, over and over; Qt marks such events as repeats, but only when it sees both in time,
// which a busy machine can defeat. So a press that comes at the instant of the same key's
// release counts as a repeat as well.
class CKeyRepeatFilter : public QObject {
public:
    CKeyRepeatFilter(std::vector<Qt::Key> keys, QObject* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::vector<Qt::Key> m_keys;
    // When each key was last released, in the window system's milliseconds.
    std::map<int, unsigned long long> m_lastRelease;
};
