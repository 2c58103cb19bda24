// Complex arithmetic for the response evaluation, on the (real, imaginary) pairs of the
// pole-zero record.
#pragma once

#include "formats/polezero.h"

#include <cmath>

namespace orv::gainbook::response {

using Complex = formats::Complex;

inline Complex operator-(Complex a, Complex b) {
    return {a.re - b.re, a.im - b.im};
}
inline Complex operator*(Complex a, Complex b) {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}
inline double norm(Complex z) {
    return z.re * z.re + z.im * z.im;
}
inline Complex conj(Complex z) {
    return {z.re, -z.im};
}
// a / b = a * conj(b) / |b|^2
inline Complex operator/(Complex a, Complex b) {
    const Complex p = a * conj(b);
    const double d = norm(b);
    return {p.re / d, p.im / d};
}
// 1 / z = conj(z) / |z|^2
inline Complex reciprocal(Complex z) {
    const double d = norm(z);
    return {z.re / d, -z.im / d};
}
inline double modulus(Complex z) {
    return std::hypot(z.re, z.im);
}

} // namespace orv::gainbook::response
