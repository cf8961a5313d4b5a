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
    case Behaviour::Unterminated:
        return "unterminated";
    case Behaviour::Overcount:
        return "overcount";
    case Behaviour::Oversize:
        return "oversize";
    case Behaviour::Flood:
        return "flood";
    case Behaviour::Unsolicited:
        return "unsolicited";
    case Behaviour::Flapping:
        return "flapping";
    case Behaviour::ChallengeForever:
        return "challenge-forever";
    case Behaviour::BadSplit:
        return "bad-split";
    }
    return "normal";
}

const char* InfoFormName(InfoForm form) {
    switch (form) {
    case InfoForm::I:
        return "I";
    case InfoForm::M:
        return "m";
    case InfoForm::MThenI:
        return "mI";
    }
    return "I";
}

} // namespace lab
