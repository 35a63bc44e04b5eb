// Control events as uvcvideo offers them (uvc_ctrl_add_event): a subscription
// to a control class succeeds and sends nothing; one to a control may ask
// for its current state at once (V4L2_EVENT_SUB_FL_SEND_INITIAL). Events on
// later changes are not sent.
#include "vcam_internal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <time.h>

namespace vcam {

namespace {

bool isClass(uint32_t id)
{
    return (id & 0xffff) == 1 &&
           (V4L2_CTRL_ID2CLASS(id) == V4L2_CTRL_CLASS_USER || V4L2_CTRL_ID2CLASS(id) == V4L2_CTRL_CLASS_CAMERA);
}

void queueInitial(Handle *h, uint32_t id)
{
    UvcDriver &u = h->cam->uvc;
    v4l2_queryctrl q{};
    q.id = id;
    if (u.query(q))
        return;
    v4l2_event ev{};
    ev.type = V4L2_EVENT_CTRL;
    ev.id = id;
    ev.u.ctrl.changes = V4L2_EVENT_CTRL_CH_FLAGS;
    int32_t value = 0;
    if (u.get(id, value) == 0)
        ev.u.ctrl.changes |= V4L2_EVENT_CTRL_CH_VALUE;
    u.endOfRequest();
    ev.u.ctrl.type = q.type;
    ev.u.ctrl.value = value;
    ev.u.ctrl.flags = q.flags;
    ev.u.ctrl.minimum = q.minimum;
    ev.u.ctrl.maximum = q.maximum;
    ev.u.ctrl.step = q.step;
    ev.u.ctrl.default_value = q.default_value;
    ev.sequence = h->eventSequence++;
    clock_gettime(CLOCK_MONOTONIC, &ev.timestamp);
    h->events.push_back(ev);
}

void dropEvents(Handle *h, uint32_t id)
{
    h->events.erase(std::remove_if(h->events.begin(), h->events.end(),
                                   [id](const v4l2_event &e) { return e.id == id; }),
                    h->events.end());
}

} // namespace

int eventIoctl(Handle *h, unsigned long req, void *arg)
{
    switch (req) {
    case VIDIOC_SUBSCRIBE_EVENT: {
        auto *sub = static_cast<v4l2_event_subscription *>(arg);
        if (sub->type != V4L2_EVENT_CTRL)
            return EINVAL;
        if (isClass(sub->id))
            return 0;
        if (!h->cam->uvc.find(sub->id))
            return EINVAL;
        if (std::find(h->subscribed.begin(), h->subscribed.end(), sub->id) == h->subscribed.end()) {
            h->subscribed.push_back(sub->id);
            if (sub->flags & V4L2_EVENT_SUB_FL_SEND_INITIAL)
                queueInitial(h, sub->id);
        }
        return 0;
    }
    case VIDIOC_UNSUBSCRIBE_EVENT: {
        auto *sub = static_cast<v4l2_event_subscription *>(arg);
        if (sub->type == V4L2_EVENT_ALL) {
            h->subscribed.clear();
            h->events.clear();
            return 0;
        }
        h->subscribed.erase(std::remove(h->subscribed.begin(), h->subscribed.end(), sub->id),
                            h->subscribed.end());
        dropEvents(h, sub->id);
        return 0;
    }
    case VIDIOC_DQEVENT: {
        if (h->events.empty())
            return ENOENT;
        auto *ev = static_cast<v4l2_event *>(arg);
        *ev = h->events.front();
        h->events.pop_front();
        ev->pending = uint32_t(h->events.size());
        return 0;
    }
    default:
        return -1;
    }
}

} // namespace vcam
