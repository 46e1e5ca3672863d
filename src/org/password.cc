#include "ptolix/org/password.h"

#include <sodium.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "ptolix/value/errors.h"
#include "value/failure.h"

namespace ptolix {

namespace {

constexpr int kUnset = -1;
std::atomic<int> g_cost{kUnset};
std::atomic<unsigned long long> g_verifications{0};

void InitSodium() {
  static const bool ok = sodium_init() >= 0;
  if (!ok) throw InvalidCall("the password library cannot be initialised");
}

bool Verify(std::string_view hash, std::string_view supplied) {
  InitSodium();
  std::string copy(hash);
  g_verifications.fetch_add(1);
  return crypto_pwhash_argon2id_str_verify(copy.c_str(), supplied.data(), supplied.size()) == 0;
}

// A hash of a random text at the current cost, made once per cost.
const std::string& DummyHash() {
  static std::mutex mutex;
  static std::string hashes[2];
  std::lock_guard lock(mutex);
  std::string& hash = hashes[CurrentPasswordHashCost() == PasswordHashCost::kMinimum ? 1 : 0];
  if (hash.empty()) {
    InitSodium();
    unsigned char secret[32];
    randombytes_buf(secret, sizeof secret);
    hash = HashPassword(std::string_view(reinterpret_cast<const char*>(secret), sizeof secret));
  }
  return hash;
}

}  // namespace

void SetPasswordHashCost(PasswordHashCost cost) { g_cost.store(static_cast<int>(cost)); }

PasswordHashCost CurrentPasswordHashCost() {
  int cost = g_cost.load();
  if (cost == kUnset) {
    const char* env = std::getenv("PTOLIX_PWHASH");
    int from_env =
        static_cast<int>(env && std::strcmp(env, "min") == 0 ? PasswordHashCost::kMinimum
                                                             : PasswordHashCost::kInteractive);
    // A concurrent SetPasswordHashCost wins over the environment.
    g_cost.compare_exchange_strong(cost, from_env);
    cost = g_cost.load();
  }
  return static_cast<PasswordHashCost>(cost);
}

namespace {

// The cost a hash text asks for, read from its "$argon2id$v=19$m=K,t=N,p=1$"
// head; false when the head is not of that form.
bool HashCost(std::string_view text, unsigned long long* kib, unsigned long long* ops) {
  std::string head(text.substr(0, 64));
  unsigned version = 0, lanes = 0;
  return std::sscanf(head.c_str(), "$argon2id$v=%u$m=%llu,t=%llu,p=%u$", &version, kib, ops,
                     &lanes) == 4;
}

// A stored hash decides how much work each sign-in does: one that asks for
// more than the moderate limits would let whoever wrote it make every
// sign-in of that user allocate gigabytes, so such a text is no password hash.
bool CostAcceptable(std::string_view text) {
  unsigned long long kib = 0, ops = 0;
  if (!HashCost(text, &kib, &ops)) return false;
  return ops <= crypto_pwhash_argon2id_OPSLIMIT_MODERATE &&
         kib <= crypto_pwhash_argon2id_MEMLIMIT_MODERATE / 1024;
}

bool LooksLikePasswordHash(std::string_view text) {
  return text.rfind(crypto_pwhash_argon2id_STRPREFIX, 0) == 0;
}

}  // namespace

bool IsPasswordHash(std::string_view text) {
  if (!LooksLikePasswordHash(text) || text.size() >= crypto_pwhash_STRBYTES ||
      !CostAcceptable(text)) {
    return false;
  }
  InitSodium();
  // needs_rehash parses the string: -1 means it is no argon2id hash at all.
  std::string copy(text);
  return crypto_pwhash_argon2id_str_needs_rehash(copy.c_str(), crypto_pwhash_argon2id_OPSLIMIT_MIN,
                                                 crypto_pwhash_argon2id_MEMLIMIT_MIN) != -1;
}

std::string HashPassword(std::string_view password) {
  InitSodium();
  bool minimum = CurrentPasswordHashCost() == PasswordHashCost::kMinimum;
  unsigned long long ops =
      minimum ? crypto_pwhash_argon2id_OPSLIMIT_MIN : crypto_pwhash_argon2id_OPSLIMIT_INTERACTIVE;
  size_t mem =
      minimum ? crypto_pwhash_argon2id_MEMLIMIT_MIN : crypto_pwhash_argon2id_MEMLIMIT_INTERACTIVE;
  char out[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_argon2id_str(out, password.data(), password.size(), ops, mem) != 0) {
    throw Failure(err::kOutOfMemory, "Out of memory: the password hash cannot be computed");
  }
  return out;
}

std::string StoredPassword(std::string_view supplied) {
  if (supplied.empty() || IsPasswordHash(supplied)) return std::string(supplied);
  return HashPassword(supplied);
}

bool PasswordMatches(std::string_view stored, bool stored_is_null, std::string_view supplied,
                     bool* needs_upgrade) {
  *needs_upgrade = false;
  if (IsPasswordHash(stored) && !stored_is_null) return Verify(stored, supplied);
  // The work of a verification, whatever the stored value.
  Verify(DummyHash(), supplied);
  if (stored_is_null) return supplied.empty();
  // A hash asking for more work than allowed matches nothing.
  if (LooksLikePasswordHash(stored)) return false;
  // A value written before passwords were hashed: exact, letter case counts.
  if (stored != supplied) return false;
  *needs_upgrade = !supplied.empty();
  return true;
}

bool PasswordCheckWithoutUser(std::string_view supplied) {
  Verify(DummyHash(), supplied);
  return false;
}

unsigned long long PasswordVerifications() { return g_verifications.load(); }

}  // namespace ptolix
