#include "verify/CtdbParity.h"

#include <algorithm>

namespace gf16 {
namespace {

struct TTables {
  uint16_t Exp[2 * kOrder];  // doubled, so a sum of two logs needs no reduction
  uint16_t LogOf[kOrder + 1];
  TTables() {
    uint32_t x = 1;
    for (int e = 0; e < kOrder; ++e) {
      Exp[e] = Exp[e + kOrder] = uint16_t(x);
      LogOf[x] = uint16_t(e);
      x <<= 1;
      if (x & 0x10000) x ^= kPolynomial;
    }
    LogOf[0] = 0;
  }
};

const TTables& Tables() {
  static const TTables tables;
  return tables;
}

}  // namespace

uint16_t Mul(uint16_t a, uint16_t b) {
  if (a == 0 || b == 0) return 0;
  const TTables& t = Tables();
  return t.Exp[t.LogOf[a] + t.LogOf[b]];
}

uint16_t Div(uint16_t a, uint16_t b) {
  if (a == 0) return 0;
  const TTables& t = Tables();
  return t.Exp[t.LogOf[a] + kOrder - t.LogOf[b]];
}

uint16_t Pow(int64_t e) {
  e %= kOrder;
  if (e < 0) e += kOrder;
  return Tables().Exp[e];
}

int Log(uint16_t a) { return Tables().LogOf[a]; }

TFactor::TFactor(uint16_t factor) {
  for (int b = 0; b < 256; ++b) {
    Low[b] = Mul(uint16_t(b), factor);
    High[b] = Mul(uint16_t(b << 8), factor);
  }
}

}  // namespace gf16

namespace {

constexpr int kMaxSyndromes = 64;

// The error locator Λ (Λ_0 = 1) of the syndromes; its degree, or -1 when the
// syndromes need more errors than they can locate.
int Locator(const uint16_t* s, int count, uint16_t* lambda) {
  uint16_t previous[kMaxSyndromes + 1] = {1};
  std::fill(lambda, lambda + count + 1, 0);
  lambda[0] = 1;
  int degree = 0, shift = 1;
  uint16_t lastDiscrepancy = 1;
  for (int n = 0; n < count; ++n) {
    uint16_t discrepancy = s[n];
    for (int i = 1; i <= degree; ++i) discrepancy ^= gf16::Mul(lambda[i], s[n - i]);
    if (discrepancy == 0) {
      ++shift;
      continue;
    }
    const uint16_t scale = gf16::Div(discrepancy, lastDiscrepancy);
    uint16_t saved[kMaxSyndromes + 1];
    std::copy(lambda, lambda + count + 1, saved);
    for (int i = 0; i + shift <= count; ++i) lambda[i + shift] ^= gf16::Mul(scale, previous[i]);
    if (2 * degree <= n) {
      degree = n + 1 - degree;
      std::copy(saved, saved + count + 1, previous);
      lastDiscrepancy = discrepancy;
      shift = 1;
    } else {
      ++shift;
    }
  }
  if (2 * degree > count || lambda[degree] == 0) return -1;
  return degree;
}

}  // namespace

bool DecodeColumn(const uint16_t* syndromes, int count, int length, int maxErrors,
                  TColumnErrors& errors) {
  errors.Positions.clear();
  errors.Values.clear();
  if (std::all_of(syndromes, syndromes + count, [](uint16_t s) { return s == 0; })) return true;
  if (count < 2 || count > kMaxSyndromes) return false;
  uint16_t lambda[kMaxSyndromes + 1];
  const int degree = Locator(syndromes, count, lambda);
  if (degree <= 0 || degree > maxErrors) return false;

  // Chien search: e is an error's power when Λ(2^-e) = 0. The terms are
  // kept as logarithms, so each step is a subtraction per term.
  if (degree == 1) {
    const int e = gf16::Log(lambda[1]);
    if (e < length) errors.Positions.push_back(e);
  } else {
    int logs[kMaxSyndromes + 1], steps[kMaxSyndromes + 1], terms = 0;
    for (int i = 1; i <= degree; ++i) {
      if (lambda[i] == 0) continue;
      logs[terms] = gf16::Log(lambda[i]);
      steps[terms++] = i;
    }
    for (int e = 0; e < length && int(errors.Positions.size()) < degree; ++e) {
      uint16_t sum = 1;
      for (int t = 0; t < terms; ++t) {
        sum ^= gf16::Pow(logs[t]);
        logs[t] -= steps[t];
        if (logs[t] < 0) logs[t] += gf16::kOrder;
      }
      if (sum == 0) errors.Positions.push_back(e);
    }
  }
  if (int(errors.Positions.size()) != degree) {
    errors.Positions.clear();
    return false;
  }

  // Forney with the first root 2^0: Y = X · Ω(X^-1) / Λ'(X^-1), where
  // Ω = S·Λ mod x^degree holds all that matters of S·Λ mod x^count.
  uint16_t omega[kMaxSyndromes] = {};
  for (int i = 0; i < degree; ++i)
    for (int j = 0; j <= i; ++j) omega[i] ^= gf16::Mul(syndromes[i - j], lambda[j]);
  for (const int e : errors.Positions) {
    const uint16_t inverse = gf16::Pow(-e);
    uint16_t numerator = 0, denominator = 0, power = 1;
    for (int i = 0; i < degree; ++i, power = gf16::Mul(power, inverse)) {
      numerator ^= gf16::Mul(omega[i], power);
      // The formal derivative keeps the odd terms: i·Λ_i x^(i-1).
      if (i + 1 <= degree && (i + 1) % 2 == 1) denominator ^= gf16::Mul(lambda[i + 1], power);
    }
    const uint16_t value =
        denominator == 0 ? 0 : gf16::Mul(gf16::Pow(e), gf16::Div(numerator, denominator));
    if (value == 0) {
      errors.Positions.clear();
      errors.Values.clear();
      return false;
    }
    errors.Values.push_back(value);
  }
  return true;
}
