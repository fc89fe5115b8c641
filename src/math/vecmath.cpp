#include "math/vecmath.h"

#include <cmath>

Mat4::Mat4() : Mat4(1.0f) {}

Mat4::Mat4(float s) : m{} {
    m[0] = s;
    m[5] = s;
    m[10] = s;
    m[15] = s;
}

Mat4::Mat4(Vec4 c0, Vec4 c1, Vec4 c2, Vec4 c3)
    : m{c0.x, c0.y, c0.z, c0.w, c1.x, c1.y, c1.z, c1.w,
        c2.x, c2.y, c2.z, c2.w, c3.x, c3.y, c3.z, c3.w} {}

Mat3::Mat3() : n{1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f} {}

Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(Vec3 v, float s) { return {v.x * s, v.y * s, v.z * s}; }
Vec3 operator/(Vec3 v, float s) { return {v.x / s, v.y / s, v.z / s}; }

float dot(Vec3 a, Vec3 b) {
    float xy = a.x * b.x + a.y * b.y;
    return xy + a.z * b.z;
}

Vec3 cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float length(Vec3 v) {
    float xy = v.x * v.x + v.y * v.y;
    float sum = xy + v.z * v.z;
    return static_cast<float>(std::sqrt(static_cast<double>(sum)));
}

Vec3 normalize(Vec3 v) { return v / length(v); }

Mat4 multiply(const Mat4& a, const Mat4& b) {
    Mat4 result(0.0f);
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            float sum = a[0 * 4 + r] * b[c * 4 + 0];
            sum = sum + a[1 * 4 + r] * b[c * 4 + 1];
            sum = sum + a[2 * 4 + r] * b[c * 4 + 2];
            sum = sum + a[3 * 4 + r] * b[c * 4 + 3];
            result[c * 4 + r] = sum;
        }
    }
    return result;
}

Mat4 translate(const Mat4& m, Vec3 v) {
    Mat4 result = m;
    for (int r = 0; r < 4; ++r) {
        float sum = m[0 * 4 + r] * v.x;
        sum = sum + m[1 * 4 + r] * v.y;
        sum = sum + m[2 * 4 + r] * v.z;
        sum = sum + m[3 * 4 + r];
        result[3 * 4 + r] = sum;
    }
    return result;
}

Mat4 transpose(const Mat4& m) {
    Mat4 result(0.0f);
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) result[c * 4 + r] = m[r * 4 + c];
    }
    return result;
}

namespace {

// Element at row r, column c of a column-major 4×4 matrix.
float at(const Mat4& m, int r, int c) { return m[c * 4 + r]; }

// Determinant of the 3×3 matrix left when row skipRow and column skipCol are removed.
float minor3(const Mat4& m, int skipRow, int skipCol) {
    int rows[3], cols[3];
    for (int i = 0, k = 0; i < 4; ++i) {
        if (i != skipRow) rows[k++] = i;
    }
    for (int i = 0, k = 0; i < 4; ++i) {
        if (i != skipCol) cols[k++] = i;
    }
    auto e = [&](int r, int c) { return at(m, rows[r], cols[c]); };
    float a = e(0, 0) * (e(1, 1) * e(2, 2) - e(1, 2) * e(2, 1));
    float b = e(0, 1) * (e(1, 0) * e(2, 2) - e(1, 2) * e(2, 0));
    float c = e(0, 2) * (e(1, 0) * e(2, 1) - e(1, 1) * e(2, 0));
    return (a - b) + c;
}

}  // namespace

Mat4 inverse(const Mat4& m) {
    // Adjugate: A[c*4 + r] = (−1)^(r+c) · minor with row c and column r removed.
    Mat4 adj(0.0f);
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            float minor = minor3(m, c, r);
            adj[c * 4 + r] = ((r + c) % 2 == 0) ? minor : -minor;
        }
    }
    float det = m[0] * adj[0];
    det = det + m[1] * adj[4];
    det = det + m[2] * adj[8];
    det = det + m[3] * adj[12];
    Mat4 result(0.0f);
    for (int i = 0; i < 16; ++i) result[i] = adj[i] / det;  // a true division per element
    return result;
}

Mat3 mat3FromMat4(const Mat4& m) {
    Mat3 result;
    for (int c = 0; c < 3; ++c) {
        for (int r = 0; r < 3; ++r) result.n[c * 3 + r] = m[c * 4 + r];
    }
    return result;
}

namespace {

// lookAt's own unit vectors: multiply by the float reciprocal of the length.
Vec3 unit(Vec3 v) {
    float reciprocal = 1.0f / length(v);
    return v * reciprocal;
}

}  // namespace

Mat4 lookAt(Vec3 eye, Vec3 target, Vec3 up) {
    Vec3 f = unit(target - eye);
    Vec3 n = unit(up);
    Vec3 s = unit(cross(f, n));
    Vec3 u = cross(s, f);
    Mat4 result;
    result[0] = s.x;
    result[4] = s.y;
    result[8] = s.z;
    result[1] = u.x;
    result[5] = u.y;
    result[9] = u.z;
    result[2] = -f.x;
    result[6] = -f.y;
    result[10] = -f.z;
    result[12] = -dot(s, eye);
    result[13] = -dot(u, eye);
    result[14] = dot(f, eye);
    return result;
}

Mat4 perspective(float fovY, float aspect, float nearPlane, float farPlane) {
    float halfAngle = fovY / 2.0f;
    float tangent = static_cast<float>(std::tan(static_cast<double>(halfAngle)));
    float range = tangent * nearPlane;
    float right = range * aspect;
    float left = -right;
    float top = range;
    float bottom = -range;
    Mat4 result(0.0f);
    result[0] = (2.0f * nearPlane) / (right - left);
    result[5] = (2.0f * nearPlane) / (top - bottom);
    result[10] = -(farPlane + nearPlane) / (farPlane - nearPlane);
    result[11] = -1.0f;
    result[14] = -(2.0f * farPlane * nearPlane) / (farPlane - nearPlane);
    return result;
}
