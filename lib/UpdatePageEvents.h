#pragma once
// Codes of Operator::NotifyUpdatePage: the update page's events. Only the two questions
// (kUpdateAsk, kUpdateConfirm) use the return value; every other code returns -1.
namespace vorn {

enum UpdatePageEvent : int {
    kUpdateLoadResult = 0,      // package load: "FAILED:" + reason or "SUCCEED:"
    kUpdateFatal = 1,           // the update cannot go on; text in red
    kUpdateAsk = 2,             // OK/Cancel question; returns kAnswerOk or kAnswerCancel
    kUpdateStarted = 3,         // the update began
    kUpdateCombinedLoaded = 4,  // a combined package was loaded
    kUpdateSingleLoaded = 5,    // a single package was loaded
    kUpdateDetail = 6,          // a line of the details box (black)
    kUpdateError = 7,           // an error line of the details box (red)
    kUpdatePercent = 8,         // transfer percentage, rewritten in place ("42%")
    kUpdateMember = 9,          // member being updated ("SINGLE:n" or "COMPOSE:n")
    kUpdateConfirm =
        11,  // confirmation dialog with the tips text; returns kConfirmUpdate/kConfirmCancel
    kUpdateFinal = 12,    // final result token (lib/ResultTokens.h)
    kUpdateRestart = 13,  // the gateway restarts / the link dropped; text = reason
};

// Answers of kUpdateAsk and kUpdateConfirm.
enum : int { kAnswerOk = 1, kAnswerCancel = 2 };
enum : int { kConfirmCancel = 0, kConfirmUpdate = 1 };

}  // namespace vorn
