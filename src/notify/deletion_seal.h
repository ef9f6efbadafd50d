// Deletion seals: what makes a permanent delete's mark unforgeable. Mail can arrive carrying the
// deletion mark header in its own text, so the mark alone proves nothing. A permanent delete also
// writes a seal, a random token that it records for the user (HKCU\Software\Pelkary\Deletion
// Seals) before the message leaves its folder; the deleted-items sink deletes a marked message for
// good only when its seal is recorded there, and removes the record as it does. Any process of the
// same user may redeem a seal, so permanent deletes keep working across processes.
#pragma once

#include <string>

namespace pelkary {

// The root header that carries the seal.
extern const char kDeletionSealHeader[];

// A new seal, already recorded; empty when it could not be recorded (the message then stays in the
// deleted-items folder, recoverable). Records older than a day are dropped on the way: a seal whose
// message never reached the deleted-items folder is not kept for ever. Any thread; never throws.
std::string IssueDeletionSeal() noexcept;

// Whether `seal` was issued and not redeemed yet; removes its record, so that a seal works once.
// False for null, malformed or unknown seals. Any thread; never throws.
bool RedeemDeletionSeal(const char* seal) noexcept;

}  // namespace pelkary
