// Vector and matrix functions: tolerances, conventions and aliased outputs.
#include <gtest/gtest.h>

#include <cmath>

#include "texture_io/d3dx8math.h"

namespace {

D3DXMATRIX Numbered(float base) {
  D3DXMATRIX m;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) m(i, j) = base + static_cast<float>(i * 4 + j);
  return m;
}

TEST(Vec3Normalize, TolerancesAndZero) {
  auto norm = [](D3DXVECTOR3 v) {
    D3DXVECTOR3 out(9, 9, 9);
    return *D3DXVec3Normalize(&out, &v);
  };
  const D3DXVECTOR3 zero(0, 0, 0);
  EXPECT_EQ(norm({0, 0, 0}), zero);
  EXPECT_EQ(norm({0, 0, 200}), D3DXVECTOR3(0, 0, 1));
  EXPECT_EQ(norm({1.000001f, 0, 0}).x, 1.000001f);  // within the tolerance: returned as it is
  EXPECT_FLOAT_EQ(norm({1.0001f, 0, 0}).x, 1.0f);   // just outside: divided
  EXPECT_EQ(norm({1e-6f, 0, 0}), zero);             // very short: zero
  EXPECT_FLOAT_EQ(norm({1e-4f, 0, 0}).x, 1.0f);
  // The bound is exclusive: s of exactly 1e-10f (x * x is one step below it,
  // y * y adds that step) is normalised, one step less is zero.
  EXPECT_NEAR(norm({1e-5f, 2.6e-9f, 0}).x, 1.0f, 1e-6f);
  EXPECT_EQ(norm({1e-5f, 0, 0}), zero);
  D3DXVECTOR3 v(3, 0, 4);  // in place
  D3DXVec3Normalize(&v, &v);
  EXPECT_FLOAT_EQ(v.x, 0.6f);
  EXPECT_FLOAT_EQ(v.z, 0.8f);
}

TEST(Vec3Cross, HandednessAndAliasing) {
  D3DXVECTOR3 x(1, 0, 0), y(0, 1, 0), out;
  EXPECT_EQ(*D3DXVec3Cross(&out, &x, &y), D3DXVECTOR3(0, 0, 1));
  EXPECT_EQ(*D3DXVec3Cross(&out, &y, &x), D3DXVECTOR3(0, 0, -1));
  D3DXVECTOR3 a(1, 2, 3), b(4, 5, 6);
  D3DXVec3Cross(&a, &a, &b);  // output is an input
  EXPECT_EQ(a, D3DXVECTOR3(2 * 6 - 3 * 5, 3 * 4 - 1 * 6, 1 * 5 - 2 * 4));
}

// A positive turn about +y (axis not of unit length) takes +z towards +x.
TEST(Vec3TransformCoord, RotationAndDivisionOnlyWhenWIsNotOne) {
  D3DXMATRIX r;
  const D3DXVECTOR3 up(0, 5, 0);
  D3DXMatrixRotationAxis(&r, &up, 0.5f);
  D3DXVECTOR3 v(1, 2, 3), out;
  D3DXVec3TransformCoord(&out, &v, &r);
  EXPECT_NEAR(out.x, std::cos(0.5f) + 3 * std::sin(0.5f), 1e-5);
  EXPECT_NEAR(out.y, 2.0f, 1e-6);
  EXPECT_NEAR(out.z, 3 * std::cos(0.5f) - std::sin(0.5f), 1e-5);

  D3DXMATRIX p;
  D3DXMatrixPerspectiveFovLH(&p, 0.7853982f, 1.0f, 1.0f, 8000.0f);
  v = D3DXVECTOR3(0, 0, 8000);
  D3DXVec3TransformCoord(&v, &v, &p);  // in place
  EXPECT_NEAR(v.z, 1.0f, 1e-5);
  v = D3DXVECTOR3(0, 0, 1);
  D3DXVec3TransformCoord(&v, &v, &p);
  EXPECT_NEAR(v.z, 0.0f, 1e-5);
}

TEST(MatrixMultiplyAndTranspose, RowVectorOrderAndAliasing) {
  const D3DXMATRIX a = Numbered(1), b = Numbered(-3);
  D3DXMATRIX out, inA = a, inB = b, both = a, square;
  D3DXMatrixMultiply(&out, &a, &b);
  D3DXMatrixMultiply(&inA, &inA, &b);
  D3DXMatrixMultiply(&inB, &a, &inB);
  D3DXMatrixMultiply(&both, &both, &both);
  D3DXMatrixMultiply(&square, &a, &a);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      float expect = 0;
      for (int k = 0; k < 4; ++k) expect += a(i, k) * b(k, j);
      EXPECT_EQ(out(i, j), expect);
      EXPECT_EQ(inA(i, j), expect);
      EXPECT_EQ(inB(i, j), expect);
      EXPECT_EQ(both(i, j), square(i, j));
    }
  // In row-vector order a translation is the bottom row.
  D3DXMatrixTranslation(&out, 5, 6, 7);
  const float translation[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(out(i / 4, i % 4), translation[i]) << i;
  D3DXMATRIX m = Numbered(0);  // transposed in place
  D3DXMatrixTranspose(&m, &m);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(m(i, j), static_cast<float>(j * 4 + i));
}

TEST(MatrixLookAtLH, ViewOfTheStartPosition) {
  D3DXMATRIX v;
  const D3DXVECTOR3 eye(0, 0, -200), at(0, 0, 0), up(0, 1, 0);
  D3DXMatrixLookAtLH(&v, &eye, &at, &up);
  D3DXVECTOR3 origin(0, 0, 0);
  D3DXVec3TransformCoord(&origin, &origin, &v);
  EXPECT_EQ(origin, D3DXVECTOR3(0, 0, 200));
  // Looking along +x: world +x is view +z, world +z is view -x.
  const D3DXVECTOR3 east(1, 0, 0), zero(0, 0, 0);
  D3DXMatrixLookAtLH(&v, &zero, &east, &up);
  D3DXVECTOR3 p(0, 0, 1);
  D3DXVec3TransformCoord(&p, &p, &v);
  EXPECT_NEAR(p.x, -1.0f, 1e-6);
  EXPECT_NEAR(p.z, 0.0f, 1e-6);
}

TEST(MatrixPerspectiveFovLH, Elements) {
  D3DXMATRIX p;
  D3DXMatrixPerspectiveFovLH(&p, 0.7853982f, 1.333f, 1.0f, 1000.0f);
  EXPECT_NEAR(p(1, 1), 2.4142f, 1e-4);
  EXPECT_NEAR(p(0, 0), 1.8111f, 1e-4);
  EXPECT_NEAR(p(2, 2), 1000.0f / 999.0f, 1e-6);
  EXPECT_EQ(p(2, 3), 1.0f);
  EXPECT_NEAR(p(3, 2), -1000.0f / 999.0f, 1e-6);
  EXPECT_EQ(p(3, 3), 0.0f);
  EXPECT_EQ(p(0, 1), 0.0f);
}

}  // namespace
