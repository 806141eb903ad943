#include "panel/key_repeat_filter.h"

#include <QKeyEvent>
#include <algorithm>

namespace {

// A person cannot let go of a key and press it again this fast; a repeat comes at once.
constexpr unsigned long long kSameInstantMs = 10;

} // namespace

CKeyRepeatFilter::CKeyRepeatFilter(std::vector<Qt::Key> keys, QObject* parent)
    : QObject(parent), m_keys(std::move(keys)) {}

bool CKeyRepeatFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) {
        return QObject::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (std::find(m_keys.begin(), m_keys.end(), key->key()) == m_keys.end()) {
        return QObject::eventFilter(watched, event);
    }
    if (event->type() == QEvent::KeyRelease) {
        if (!key->isAutoRepeat()) {
            m_lastRelease[key->key()] = key->timestamp();
        }
        return QObject::eventFilter(watched, event);
    }
    const auto released = m_lastRelease.find(key->key());
    const bool atTheRelease = released != m_lastRelease.end() &&
                              key->timestamp() >= released->second &&
                              key->timestamp() - released->second <= kSameInstantMs;
    return key->isAutoRepeat() || atTheRelease;
}
