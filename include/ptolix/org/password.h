#pragma once

#include <string>
#include <string_view>

namespace ptolix {

// How much work a new password hash costs. Production uses libsodium's
// interactive limits; test suites switch to the minimum limits so that they
// stay fast. Without a call to SetPasswordHashCost, the environment variable
// PTOLIX_PWHASH=min selects the minimum limits (read once, at the first hash).
enum class PasswordHashCost { kInteractive, kMinimum };
void SetPasswordHashCost(PasswordHashCost cost);
PasswordHashCost CurrentPasswordHashCost();

// True when `text` is an argon2id hash string as HashPassword makes them.
bool IsPasswordHash(std::string_view text);

// An argon2id hash string of `password` at the current cost. Throws Failure
// when the hash cannot be computed (out of memory).
std::string HashPassword(std::string_view password);

// What a user's password column receives for a supplied password: empty
// stays empty (stored as null), a hash string is kept as it is (an edit form
// writes back what it read), anything else is hashed.
std::string StoredPassword(std::string_view supplied);

// Sign-in check against a stored Usr_Password value. `stored_is_null` marks
// a database null, which matches only an empty password. A hash is verified;
// any other stored text is compared exactly, and `needs_upgrade` is set when
// such a plain value matched, so the caller can replace it by its hash.
// Every stored value costs one hash verification (a plain or null value is
// also verified against a fixed hash), so timing does not tell them apart.
bool PasswordMatches(std::string_view stored, bool stored_is_null, std::string_view supplied,
                     bool* needs_upgrade);

// The same hash work as checking a wrong password, for a sign-in whose user
// does not exist: `supplied` is verified against a fixed hash made at the
// current cost. Always false.
bool PasswordCheckWithoutUser(std::string_view supplied);

// How many hash verifications this process has run (for tests).
unsigned long long PasswordVerifications();

}  // namespace ptolix
