// Turns a rotated-pole grid position into geographic latitude and longitude in single precision.
#include "Rot2Global.h"

#include <cmath>
#include <limits>

namespace {

const float cf_full_circle = 360.0f;
const float cf_deg_to_rad = 0.017453292f;
const float cf_pi = 3.1415927f;
const float cf_two_pi = 6.2831855f;

// Brings a longitude into [0, 360); huge values are cut down with fmod first so the loops end quickly.
float ReduceLongitude(float f_lon)
{
    if (!std::isfinite(f_lon))
        return std::numeric_limits<float>::quiet_NaN();
    if (std::fabs(f_lon) > 1e6f)
        f_lon = std::fmod(f_lon, cf_full_circle);
    while (f_lon >= cf_full_circle)
        f_lon -= cf_full_circle;
    while (f_lon < 0.0f)
        f_lon += cf_full_circle;
    return f_lon;
}

// Limits an argument of asin or acos to [-1, 1]; a NaN passes through.
float Clamp1(float f_value)
{
    if (f_value > 1.0f)
        return 1.0f;
    if (f_value < -1.0f)
        return -1.0f;
    return f_value;
}

// Wraps a radian angle into [-pi, pi], rounding to float after each step.
float WrapPi(float f_angle)
{
    while (f_angle < -cf_pi)
        f_angle = f_angle + cf_two_pi;
    while (f_angle > cf_pi)
        f_angle = f_angle - cf_two_pi;
    return f_angle;
}

}  // namespace

void Rot2Global(float f_rot_lat, float f_rot_lon, float f_pole_lat, float f_pole_lon,
                float& f_global_lat, float& f_global_lon)
{
    const float f_lambda = ReduceLongitude(f_rot_lon) * cf_deg_to_rad;
    const float f_lambda_pole = ReduceLongitude(f_pole_lon) * cf_deg_to_rad;
    const float f_lambda_zero = f_lambda_pole == 0.0f ? 0.0f : f_lambda_pole - cf_pi;

    const float f_phi = f_rot_lat * cf_deg_to_rad;
    const float f_phi_pole = f_pole_lat * cf_deg_to_rad;
    const double d_cos_lambda = std::cos(static_cast<double>(f_lambda));
    const double d_sin_phi = std::sin(static_cast<double>(f_phi));
    const double d_cos_phi = std::cos(static_cast<double>(f_phi));
    const double d_sin_phi_pole = std::sin(static_cast<double>(f_phi_pole));
    const double d_cos_phi_pole = std::cos(static_cast<double>(f_phi_pole));

    const float f_a = static_cast<float>(d_cos_lambda * d_cos_phi);
    const float f_s = Clamp1(static_cast<float>(d_cos_phi_pole * f_a + d_sin_phi * d_sin_phi_pole));
    const float f_theta = std::asin(f_s);
    f_global_lat = static_cast<float>(f_theta / static_cast<double>(cf_deg_to_rad));

    const double d_cos_theta = std::cos(static_cast<double>(f_theta));
    // On a geographic pole the longitude is undefined; the offset longitude stands in for it.
    if (d_cos_theta == 0.0) {
        f_global_lon = static_cast<float>(f_lambda_zero / static_cast<double>(cf_deg_to_rad));
        return;
    }
    const float f_t = Clamp1(
        static_cast<float>((f_a * d_sin_phi_pole - d_cos_phi_pole * d_sin_phi) / d_cos_theta));
    const float f_angle = std::acos(f_t);
    const float f_signed = WrapPi(f_lambda) >= 0.0f ? f_angle : -f_angle;
    f_global_lon = static_cast<float>((static_cast<double>(f_signed) + f_lambda_zero) /
                                      static_cast<double>(cf_deg_to_rad));
}
