// Vectors and matrices: construction, the fixed evaluation orders, the inverse,
// the look-at view and the one projection the camera uses, bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "math/vecmath.h"

namespace {

uint32_t bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// Exact equality of every element; a zero's sign does not count (the
// adjugate's cofactor signs turn some zeros into −0).
void expectSameMatrix(const Mat4& a, const Mat4& b) {
    for (int i = 0; i < 16; ++i) EXPECT_EQ(a[i], b[i]) << "element " << i;
}

Mat4 diagonal(float a, float b, float c, float d) {
    Mat4 m(0.0f);
    m[0] = a;
    m[5] = b;
    m[10] = c;
    m[15] = d;
    return m;
}

// A matrix with no zero and no symmetry, so misplaced indices show up.
Mat4 scrambled() {
    Mat4 m;
    for (int i = 0; i < 16; ++i) m[i] = static_cast<float>((i * 7) % 11) - 3.5f + 0.25f * i;
    return m;
}

}  // namespace

TEST(Mat4Construction, ScalarsDefaultAndColumns) {
    Mat4 zero(0.0f);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(zero[i], 0.0f) << i;
    Mat4 zeroInt(0);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(zeroInt[i], 0.0f) << i;

    Mat4 identity;
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) EXPECT_EQ(identity[c * 4 + r], r == c ? 1.0f : 0.0f);
    }
    expectSameMatrix(Mat4(1.0f), identity);
    expectSameMatrix(Mat4(1), identity);
    expectSameMatrix(Mat4(1.0), identity);

    Mat4 two(2.5);
    EXPECT_EQ(two[0], 2.5f);
    EXPECT_EQ(two[5], 2.5f);
    EXPECT_EQ(two[10], 2.5f);
    EXPECT_EQ(two[15], 2.5f);
    EXPECT_EQ(two[1], 0.0f);
    EXPECT_EQ(two[12], 0.0f);

    Mat4 cols(Vec4{1, 2, 3, 4}, Vec4{5, 6, 7, 8}, Vec4{9, 10, 11, 12}, Vec4{13, 14, 15, 16});
    for (int i = 0; i < 16; ++i) EXPECT_EQ(cols[i], static_cast<float>(i + 1));
}

TEST(Vec3Operations, ArithmeticCrossAndSummationOrder) {
    Vec3 a{1, 2, 3}, b{-4, 0.5f, 8};
    Vec3 s = a + b, d = a - b, m = a * 2.0f, q = a / 4.0f;
    EXPECT_EQ(s.x, -3.0f);
    EXPECT_EQ(s.y, 2.5f);
    EXPECT_EQ(s.z, 11.0f);
    EXPECT_EQ(d.x, 5.0f);
    EXPECT_EQ(d.y, 1.5f);
    EXPECT_EQ(d.z, -5.0f);
    EXPECT_EQ(m.z, 6.0f);
    EXPECT_EQ(q.y, 0.5f);

    Vec3 z = cross(Vec3{1, 0, 0}, Vec3{0, 1, 0});
    EXPECT_EQ(z.x, 0.0f);
    EXPECT_EQ(z.y, 0.0f);
    EXPECT_EQ(z.z, 1.0f);
    Vec3 c = cross(a, b);  // (2·8 − 3·0.5, 3·(−4) − 1·8, 1·0.5 − 2·(−4))
    EXPECT_EQ(c.x, 14.5f);
    EXPECT_EQ(c.y, -20.0f);
    EXPECT_EQ(c.z, 8.5f);

    // (x + y) + z: 1e8 and −1e8 cancel first; any other order loses the 1.
    EXPECT_EQ(dot(Vec3{1e8f, -1e8f, 1.0f}, Vec3{1, 1, 1}), 1.0f);

    EXPECT_EQ(length(Vec3{3, 4, 12}), 13.0f);
    // 4097² is not a float; adding 1 then 59² differs from adding 1 + 59².
    float xx = 4097.0f * 4097.0f;
    float inOrder = static_cast<float>(std::sqrt(static_cast<double>((xx + 1.0f) + 3481.0f)));
    float otherOrder = static_cast<float>(std::sqrt(static_cast<double>(xx + (1.0f + 3481.0f))));
    ASSERT_NE(inOrder, otherOrder);
    EXPECT_EQ(length(Vec3{4097, 1, 59}), inOrder);
}

TEST(Vec3Operations, NormalizeDividesByTheLength) {
    // 3 / |(3, 14)| and 3 · (1 / |(3, 14)|) differ in the last bit.
    Vec3 v{3, 14, 0};
    float len = length(v);
    ASSERT_NE(3.0f / len, 3.0f * (1.0f / len));
    Vec3 n = normalize(v);
    EXPECT_EQ(n.x, 3.0f / len);
    EXPECT_EQ(n.y, 14.0f / len);
    EXPECT_NEAR(length(n), 1.0f, 1e-6f);

    Vec3 bad = normalize(Vec3{});
    EXPECT_FALSE(std::isfinite(bad.x));
}

TEST(Mat4Products, MultiplyTranslateTranspose) {
    Mat4 identity, m = scrambled();
    expectSameMatrix(multiply(identity, m), m);
    expectSameMatrix(multiply(m, identity), m);

    // b is applied first: scale then move, so the move is not scaled.
    Mat4 move = translate(identity, Vec3{1, 2, 3});
    Mat4 moveThenScaleLast = multiply(move, diagonal(2, 2, 2, 1));
    EXPECT_EQ(moveThenScaleLast[12], 1.0f);
    EXPECT_EQ(moveThenScaleLast[0], 2.0f);
    Mat4 scaleLast = multiply(diagonal(2, 2, 2, 1), move);
    EXPECT_EQ(scaleLast[12], 2.0f);
    EXPECT_EQ(scaleLast[14], 6.0f);

    // Row 0 of a times column 0 of b, summed term 0 first: 1e8 − 1e8 + 1 + 0.
    Mat4 a(0.0f), b(0.0f);
    a[0] = 1e8f;
    a[4] = -1e8f;
    a[8] = 1.0f;
    b[0] = b[1] = b[2] = 1.0f;
    EXPECT_EQ(multiply(a, b)[0], 1.0f);

    Mat4 two = multiply(translate(identity, Vec3{1.5f, -2, 4}),
                        translate(identity, Vec3{0.25f, 7, -9}));
    EXPECT_EQ(two[12], 1.75f);
    EXPECT_EQ(two[13], 5.0f);
    EXPECT_EQ(two[14], -5.0f);
    EXPECT_EQ(two[15], 1.0f);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(two[i], identity[i]) << i;

    Mat4 t = translate(identity, Vec3{3, -4, 5});
    EXPECT_EQ(t[12], 3.0f);
    EXPECT_EQ(t[13], -4.0f);
    EXPECT_EQ(t[14], 5.0f);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(t[i], identity[i]) << i;
    EXPECT_EQ(t[15], 1.0f);

    // On a general matrix column 3 becomes m·(v, 1); columns 0..2 stay.
    Mat4 mt = translate(m, Vec3{2, -1, 0.5f});
    for (int i = 0; i < 12; ++i) EXPECT_EQ(mt[i], m[i]) << i;
    for (int r = 0; r < 4; ++r) {
        float expected = ((m[r] * 2.0f + m[4 + r] * -1.0f) + m[8 + r] * 0.5f) + m[12 + r];
        EXPECT_EQ(mt[12 + r], expected) << "row " << r;
    }

    Mat4 tr = transpose(m);
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) EXPECT_EQ(tr[c * 4 + r], m[r * 4 + c]);
    }
    expectSameMatrix(transpose(tr), m);
}

TEST(Mat4Inverse, ExactCasesSingularAndGeneral) {
    Mat4 identity;
    expectSameMatrix(inverse(identity), identity);

    Vec3 v{3.25f, -17.0f, 0.125f};
    expectSameMatrix(inverse(translate(identity, v)), translate(identity, Vec3{-v.x, -v.y, -v.z}));

    Mat4 zeroInverse = inverse(Mat4(0.0f));
    for (int i = 0; i < 16; ++i) EXPECT_FALSE(std::isfinite(zeroInverse[i])) << i;

    // 45 / 135 must be a true division: 45 · (1/135) is one bit off 1/3.
    Mat4 d = inverse(diagonal(3, 5, 9, 1));
    ASSERT_NE(45.0f / 135.0f, 45.0f * (1.0f / 135.0f));
    EXPECT_EQ(d[0], 1.0f / 3.0f);
    EXPECT_EQ(d[5], 1.0f / 5.0f);
    EXPECT_EQ(d[10], 1.0f / 9.0f);
    EXPECT_EQ(d[15], 1.0f);

    // A view-like matrix: m · inverse(m) is the identity up to rounding.
    Mat4 view = lookAt(Vec3{-315, -565, 95}, Vec3{250, 0, 75}, Vec3{0, 0, 1});
    Mat4 product = multiply(view, inverse(view));
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(product[i], identity[i], 1e-4f) << i;

    Mat4 m = scrambled();
    m[0] += 20.0f;  // make it comfortably regular
    m[5] += 20.0f;
    m[10] += 20.0f;
    m[15] += 20.0f;
    Mat4 back = multiply(inverse(m), m);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(back[i], identity[i], 1e-5f) << i;
}

namespace {

// Exact integer 3×3 minor of m with one row and one column removed.
int64_t exactMinor(const int64_t* m, int skipRow, int skipCol) {
    int rows[3], cols[3];
    for (int i = 0, k = 0; i < 4; ++i) {
        if (i != skipRow) rows[k++] = i;
    }
    for (int i = 0, k = 0; i < 4; ++i) {
        if (i != skipCol) cols[k++] = i;
    }
    auto e = [&](int r, int c) { return m[cols[c] * 4 + rows[r]]; };
    return e(0, 0) * (e(1, 1) * e(2, 2) - e(1, 2) * e(2, 1)) -
           e(0, 1) * (e(1, 0) * e(2, 2) - e(1, 2) * e(2, 0)) +
           e(0, 2) * (e(1, 0) * e(2, 1) - e(1, 1) * e(2, 0));
}

}  // namespace

TEST(Mat4Inverse, DeterminantIsTheFirstColumnAgainstTheAdjugatesFirstRow) {
    // Small integers keep every minor exact in float, whatever its evaluation
    // order; only the four determinant products round, and their sum taken
    // down the first column differs from the one along the first row.
    const int64_t entries[16] = {-25, 90, -4, -30, -27, -44, 67, -11,
                                 53,  91, -37, -64, 14, -71, -45, -83};
    Mat4 m;
    float adj[16];
    for (int i = 0; i < 16; ++i) m[i] = static_cast<float>(entries[i]);
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            int64_t minor = exactMinor(entries, c, r);
            adj[c * 4 + r] = static_cast<float>((r + c) % 2 == 0 ? minor : -minor);
        }
    }
    float byColumn = ((m[0] * adj[0] + m[1] * adj[4]) + m[2] * adj[8]) + m[3] * adj[12];
    float byRow = ((m[0] * adj[0] + m[4] * adj[1]) + m[8] * adj[2]) + m[12] * adj[3];
    ASSERT_NE(byColumn, byRow);

    Mat4 inv = inverse(m);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(inv[i], adj[i] / byColumn) << "element " << i;
}

TEST(Mat3FromMat4, UpperLeftBlockAndNormalMatrixOfATranslation) {
    Mat4 m = scrambled();
    Mat3 n = mat3FromMat4(m);
    for (int c = 0; c < 3; ++c) {
        for (int r = 0; r < 3; ++r) EXPECT_EQ(n[c * 3 + r], m[c * 4 + r]);
    }

    Mat3 normal = mat3FromMat4(transpose(inverse(translate(Mat4(), Vec3{40, -7, 3}))));
    Mat3 identity;
    for (int i = 0; i < 9; ++i) EXPECT_EQ(normal[i], identity[i]) << i;
}

TEST(LookAt, AxesTranslationAndUpLength) {
    Mat4 m = lookAt(Vec3{0, 0, 0}, Vec3{0, 1, 0}, Vec3{0, 0, 1});
    Mat4 expected(0.0f);
    expected[0] = 1.0f;   // s = +X
    expected[9] = 1.0f;   // u = +Z
    expected[6] = -1.0f;  // −f, f = +Y
    expected[15] = 1.0f;
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], expected[i]) << i;
    // World up goes to view +Y, the viewing direction to view −Z.
    EXPECT_EQ(m[4 * 2 + 1], 1.0f);
    EXPECT_EQ(m[4 * 1 + 2], -1.0f);

    // Translation row: −(s·eye), −(u·eye), +(f·eye).
    Mat4 moved = lookAt(Vec3{1, 2, 3}, Vec3{1, 7, 3}, Vec3{0, 0, 1});
    EXPECT_EQ(moved[12], -1.0f);
    EXPECT_EQ(moved[13], -3.0f);
    EXPECT_EQ(moved[14], 2.0f);
    EXPECT_EQ(moved[3], 0.0f);
    EXPECT_EQ(moved[7], 0.0f);
    EXPECT_EQ(moved[11], 0.0f);
    EXPECT_EQ(moved[15], 1.0f);

    Vec3 eye{-2000, -2000, 2000}, target{250, -275, 80};
    expectSameMatrix(lookAt(eye, target, Vec3{0, 0, 2}), lookAt(eye, target, Vec3{0, 0, 1}));
    // Up is made unit before the cross product: 3 · (1/3) rounds back to 1,
    // while crossing with the raw (0, 0, 3) would round differently.
    expectSameMatrix(lookAt(eye, target, Vec3{0, 0, 3}), lookAt(eye, target, Vec3{0, 0, 1}));
}

TEST(LookAt, UnitVectorsUseTheReciprocalOfTheLength) {
    // Direction (3, 14, 0): the reciprocal product and the division differ.
    Vec3 dir{3, 14, 0};
    float len = length(dir);
    float reciprocal = 1.0f / len;
    ASSERT_NE(3.0f * reciprocal, 3.0f / len);
    Mat4 m = lookAt(Vec3{0, 0, 0}, dir, Vec3{0, 0, 1});
    EXPECT_EQ(m[2], -(3.0f * reciprocal));
    EXPECT_EQ(m[6], -(14.0f * reciprocal));
    EXPECT_EQ(m[10], 0.0f);
}

TEST(Perspective, TheCameraProjectionBitForBit) {
    const float halfAngle = 0.5235987901687622f;
    const float aspect = static_cast<float>(1024) / static_cast<float>(768);
    ASSERT_EQ(aspect, 1.3333333730697632f);
    Mat4 p = perspective(2.0f * halfAngle, aspect, 1.0f, 10000.0f);

    EXPECT_EQ(bits(p[0]), bits(1.299038052558899f));
    EXPECT_EQ(bits(p[5]), bits(1.732050895690918f));
    EXPECT_EQ(bits(p[10]), bits(-1.0002000331878662f));
    EXPECT_EQ(bits(p[11]), bits(-1.0f));
    EXPECT_EQ(bits(p[14]), bits(-2.000200033187866f));
    for (int i : {1, 2, 3, 4, 6, 7, 8, 9, 12, 13, 15}) EXPECT_EQ(bits(p[i]), 0u) << "element " << i;

    // The far terms are −10001/9999 and −20000/9999 rounded once to float.
    EXPECT_EQ(p[10], static_cast<float>(-10001.0 / 9999.0));
    EXPECT_EQ(p[14], static_cast<float>(-20000.0 / 9999.0));
}
