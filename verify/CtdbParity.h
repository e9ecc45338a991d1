// The arithmetic of the CTDB recovery data: the field GF(2^16) (polynomial
// x^16 + x^12 + x^3 + x + 1, generator 2) and the decoding of one column's
// errors from its syndromes (Berlekamp–Massey, Chien search, Forney, first
// root 2^0). Plain functions over tables built once; any thread.
#pragma once

#include <cstdint>
#include <vector>

namespace gf16 {

constexpr uint32_t kPolynomial = 0x1100B;
constexpr int kOrder = 65535;  // of the multiplicative group

uint16_t Mul(uint16_t a, uint16_t b);
// a / b; b must not be 0.
uint16_t Div(uint16_t a, uint16_t b);
// 2^e for any e, negative ones too.
uint16_t Pow(int64_t e);
// The e of a = 2^e; a must not be 0.
int Log(uint16_t a);
// a · 2, the step of a Horner sum at the first point.
inline uint16_t Times2(uint16_t a) {
  return uint16_t((a << 1) ^ ((a >> 15) * (kPolynomial & 0xFFFF)));
}

// Multiplication by one fixed factor through two byte tables: the form the
// syndrome loops run at.
struct TFactor {
  explicit TFactor(uint16_t factor);
  uint16_t operator()(uint16_t a) const { return Low[a & 0xFF] ^ High[a >> 8]; }
  uint16_t Low[256];
  uint16_t High[256];
};

}  // namespace gf16

// The errors of one column: the power e of each (its word is the one the
// syndromes weight by 2^(k·e)) and the value to XOR into that word.
struct TColumnErrors {
  std::vector<int> Positions;
  std::vector<uint16_t> Values;
};

// Decodes the error pattern of a column of `length` words from its
// syndromes S_0..S_(count-1). True with no errors when every syndrome is 0;
// false when it takes more than maxErrors (at most count / 2) errors or the
// pattern does not fit the column.
bool DecodeColumn(const uint16_t* syndromes, int count, int length, int maxErrors,
                  TColumnErrors& errors);
