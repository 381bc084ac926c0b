#!/usr/bin/env python3
"""Writes reference_values.hpp: hydrogen radial functions, spherical harmonics,
Clebsch-Gordan coefficients and whole spinor samples, computed by sympy from closed forms
(sympy's R_nl, Ynm, CG and Legendre derivatives) at 30 significant digits.

Run from this directory:  python3 make_reference.py > reference_values.hpp
"""
from sympy import (Float, I, Rational, diff, factorial, im, legendre, pi, re, sqrt,
                   symbols, sympify)
from sympy.functions.special.spherical_harmonics import Ynm
from sympy.physics.hydrogen import R_nl
from sympy.physics.quantum.cg import CG

DIGITS = 30
EPS = Rational(1, 10**6)
X = symbols('x')


def fmt(v):
    s = str(Float(sympify(v).evalf(DIGITS), DIGITS).evalf(25))
    return s if any(c in s for c in '.e') else s + '.0'


# Radial functions: (n, l, r). Points are binary fractions so the doubles are exact.
radial_cases = []
for n in range(1, 8):
    for l in range(n):
        for r in [Rational(1, 64), Rational(3, 4), Rational(5, 2), Rational(23, 4), 11, 27]:
            radial_cases.append((n, l, r))
for (n, l, rs) in [(12, 0, [3, 50, 140]), (12, 11, [1, 144, 300]), (20, 7, [10, 300, 900]),
                   (40, 25, [100, 1600, 5000]), (99, 0, [Rational(1, 2), 500, 9000, 40000]),
                   (99, 98, [50, 9800, 30000]), (99, 45, [2000, 12000, 60000])]:
    for r in rs:
        radial_cases.append((n, l, Rational(r)))


def radial_line(n, l, r):
    f = R_nl(n, l, X, 1)
    value = f.subs(X, r).evalf(DIGITS)
    # Local size of the function, so that points near a node are judged against it.
    env = max(abs(f.subs(X, r * Rational(k, 100)).evalf(DIGITS)) for k in range(90, 111, 2))
    return '  {%d, %d, %s, %s, %s},' % (n, l, fmt(r), fmt(value), fmt(env))


# Spherical harmonics for m >= 0 at given angles.
angular_cases = []
angles = [(Rational(3, 10), Rational(7, 10)), (Rational(12, 10), Rational(-25, 10)),
          (Rational(29, 10), Rational(4, 10)), (Rational(1, 1000), Rational(1))]
for l in list(range(0, 7)) + [12, 40, 98]:
    for m in range(0, min(l, 10) + 1):
        if l > 12 and m not in (0, 1, 7, 10):
            continue
        for th, ph in angles:
            angular_cases.append((l, m, th, ph))


def angular_line(l, m, th, ph):
    y = Ynm(l, m, th, ph).expand(func=True).evalf(DIGITS)
    return '  {%d, %d, %s, %s, %s, %s},' % (l, m, fmt(th), fmt(ph), fmt(re(y)), fmt(im(y)))


# Clebsch-Gordan coefficients for J = l +- 1/2.
cg_cases = []
for l in range(0, 6):
    for J2 in (2 * l + 1, 2 * l - 1):
        if J2 < 1:
            continue
        for m2 in range(-J2, J2 + 1, 2):
            cg_cases.append((l, Rational(J2, 2), Rational(m2, 2)))


def cg_line(l, J, m):
    half = Rational(1, 2)
    cu = CG(l, m - half, half, half, J, m).doit() if abs(m - half) <= l else 0
    cd = CG(l, m + half, half, -half, J, m).doit() if abs(m + half) <= l else 0
    return '  {%d, %s, %s, %s, %s},' % (l, fmt(J), fmt(m), fmt(cu), fmt(cd))


# Whole spinors: every component from closed forms, with the point's geometry as the model
# takes it (offsets 1e-6 on r and on the distance from the z axis). The angular function is
# N(l, m) P(l, |m|, cos t) (cos |m| p + i sgn(m) sin |m| p) with P from the derivative of the
# Legendre polynomial and N(l, m) as written for either sign of m.
def angular_closed(l, m, cos_t, sin_t, cos_p, sin_p):
    am = abs(m)
    if am > l:
        return 0
    p = (-1)**am * sin_t**am * diff(legendre(l, X), X, am).subs(X, cos_t) if am else \
        legendre(l, X).subs(X, cos_t)
    nrm = sqrt((2 * l + 1) / (4 * pi) * factorial(l - m) / factorial(l + m))
    e = (cos_p + I * sin_p)**am
    if m < 0:
        e = e.conjugate()
    return nrm * p * e


spinor_cases = [  # n, l, J, j, w, (x, y, z)
    (3, 2, Rational(5, 2), Rational(1, 2), 1, (Rational(3, 4), Rational(-5, 4), Rational(1, 2))),
    (3, 2, Rational(5, 2), Rational(3, 2), Rational(1, 2), (2, 1, -3)),
    (4, 1, Rational(3, 2), Rational(1, 2), Rational(4, 5), (Rational(-7, 4), Rational(1, 8), 2)),
    (2, 1, Rational(1, 2), Rational(1, 2), Rational(3, 5), (1, 1, 1)),
    (2, 1, Rational(1, 2), Rational(-1, 2), 1, (Rational(1, 2), 2, Rational(-3, 2))),
    (4, 1, Rational(3, 2), Rational(-1, 2), Rational(4, 5), (Rational(-7, 4), Rational(1, 8), 2)),
    (5, 3, Rational(7, 2), Rational(-5, 2), 1, (3, -2, Rational(5, 4))),
    (5, 3, Rational(5, 2), Rational(-3, 2), 1, (Rational(-9, 4), Rational(-3, 2), 4)),
    (6, 4, Rational(9, 2), Rational(9, 2), 1, (4, 3, 2)),
    (1, 0, Rational(1, 2), Rational(1, 2), 1, (0, 0, 0)),
    (3, 1, Rational(3, 2), Rational(3, 2), 1, (0, 0, 2)),
]


def spinor_line(n, l, J, m, w, p):
    half = Rational(1, 2)
    x, y, z = [Rational(v) for v in p]
    rho = sqrt(x**2 + y**2) + EPS
    r = sqrt(x**2 + y**2 + z**2) + EPS
    cos_t, sin_t, cos_p, sin_p = z / r, rho / r, x / rho, y / rho
    radial = R_nl(n, l, X, 1).subs(X, r)
    out = []
    for spin, mm in ((half, m - half), (-half, m + half)):
        c = CG(l, mm, half, spin, J, m).doit() if abs(mm) <= l else 0
        v = (w * c * radial * angular_closed(l, int(mm), cos_t, sin_t, cos_p, sin_p)).evalf(DIGITS)
        out += [re(v), im(v)]
    return '  {%d, %d, %s, %s, %s, {%s, %s, %s}, {%s}},' % (
        n, l, fmt(J), fmt(m), fmt(w), fmt(x), fmt(y), fmt(z), ', '.join(fmt(v) for v in out))


def main():
    print('// Generated by make_reference.py with sympy; do not edit.')
    print('#pragma once\n')
    print('struct RadialReference { int n, l; double r, value, localScale; };')
    print('inline constexpr RadialReference kRadialReference[] = {')
    for c in radial_cases:
        print(radial_line(*c))
    print('};\n')
    print('struct AngularReference { int l, m; double theta, phi, re, im; };')
    print('inline constexpr AngularReference kAngularReference[] = {')
    for c in angular_cases:
        print(angular_line(*c))
    print('};\n')
    print('struct ClebschGordanReference { int l; double J, m, up, down; };')
    print('inline constexpr ClebschGordanReference kClebschGordanReference[] = {')
    for c in cg_cases:
        print(cg_line(*c))
    print('};\n')
    print('struct SpinorReference { int n, l; double J, j, w; double p[3]; double psi[4]; };')
    print('inline constexpr SpinorReference kSpinorReference[] = {')
    for c in spinor_cases:
        print(spinor_line(*c))
    print('};')


if __name__ == '__main__':
    main()
