// Complex arithmetic for the response evaluation, on the (real, imaginary) pairs of the
// pole-zero record.
#pragma once

#include "formats/polezero.h"

#include <cmath>
#include <complex>

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
// a / b = a * conj(b) / |b|^2, computed by std::complex with scaling: |b|^2 itself
// overflows once |b| passes about 1e154, which a product over some 60 poles does.
inline Complex operator/(Complex a, Complex b) {
    const std::complex<double> q =
        std::complex<double>(a.re, a.im) / std::complex<double>(b.re, b.im);
    return {q.real(), q.imag()};
}
// 1 / z = conj(z) / |z|^2, scaled in the same way.
inline Complex reciprocal(Complex z) {
    return Complex{1.0, 0.0} / z;
}
inline double modulus(Complex z) {
    return std::hypot(z.re, z.im);
}

} // namespace orv::gainbook::response
