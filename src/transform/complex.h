// The complex value of the transform work array: real part, then imaginary part.
#pragma once

namespace ftir::transform {

struct Complex {
  double re;
  double im;
};

// (a.re*b.re - a.im*b.im, a.re*b.im + a.im*b.re), in exactly this order of operations.
inline Complex mul(Complex a, Complex b) {
  return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}

}  // namespace ftir::transform
