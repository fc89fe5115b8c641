// Vectors and matrices of the demo: single precision, column-major, Z-up, right-handed.
//
// Every operation here fixes its summation order, because the camera, the
// tangent frames and the projection must come out the same to the last bit on
// every machine. Square roots and the projection's tangent are taken in double
// precision on the float argument and rounded back to float.
#pragma once

#include <cstdint>

struct Vec3 {
    float x = 0.0f, y = 0.0f, z = 0.0f;
};

struct Vec4 {
    float x = 0.0f, y = 0.0f, z = 0.0f, w = 0.0f;
};

// m[c * 4 + r] is row r, column c; handed to GL untransposed in this order.
struct Mat4 {
    float m[16];

    Mat4();  // identity
    explicit Mat4(float s);  // s on the diagonal, 0 elsewhere
    explicit Mat4(int s) : Mat4(static_cast<float>(s)) {}
    explicit Mat4(double s) : Mat4(static_cast<float>(s)) {}
    Mat4(Vec4 c0, Vec4 c1, Vec4 c2, Vec4 c3);

    float& operator[](int i) { return m[i]; }
    float operator[](int i) const { return m[i]; }
};

// n[c * 3 + r] is row r, column c.
struct Mat3 {
    float n[9];

    Mat3();  // identity
    float operator[](int i) const { return n[i]; }
};

Vec3 operator+(Vec3 a, Vec3 b);
Vec3 operator-(Vec3 a, Vec3 b);
Vec3 operator*(Vec3 v, float s);
Vec3 operator/(Vec3 v, float s);

float dot(Vec3 a, Vec3 b);
Vec3 cross(Vec3 a, Vec3 b);
float length(Vec3 v);      // no guard: a zero vector gives 0
Vec3 normalize(Vec3 v);    // no guard: a zero vector gives non-finite components

Mat4 multiply(const Mat4& a, const Mat4& b);  // a·b: b is applied first
Mat4 translate(const Mat4& m, Vec3 v);        // m·T(v)
Mat4 transpose(const Mat4& m);
Mat4 inverse(const Mat4& m);                  // adjugate over determinant; singular gives non-finite
Mat3 mat3FromMat4(const Mat4& m);             // upper-left 3×3 block
Mat4 lookAt(Vec3 eye, Vec3 target, Vec3 up);  // viewer looks along its own −Z
Mat4 perspective(float fovY, float aspect, float nearPlane, float farPlane);
