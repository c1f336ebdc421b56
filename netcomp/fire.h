#pragma once
// Firing a component's event.

#include <utility>

// Calls the event's handler, when one is set, through a copy of it, so the
// handler may replace the event or free the component.
template <class F, class... Args>
void fire(const F& event, Args&&... args)
{
    if (!event) return;
    const F handler = event;
    handler(std::forward<Args>(args)...);
}
