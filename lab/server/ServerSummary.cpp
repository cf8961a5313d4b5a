#include "ServerSummary.h"

namespace lab {

const char* BehaviourName(Behaviour behaviour) {
    switch (behaviour) {
    case Behaviour::Normal:
        return "normal";
    case Behaviour::Silent:
        return "silent";
    case Behaviour::DetailsOnly:
        return "details-only";
    case Behaviour::Message:
        return "message";
    case Behaviour::Draining:
        return "draining";
    }
    return "normal";
}

} // namespace lab
