// Maps a position on a rotated-pole grid to geographic latitude and longitude.
#ifndef TESSOLD_ROT2GLOBAL_H
#define TESSOLD_ROT2GLOBAL_H

void Rot2Global(float f_rot_lat, float f_rot_lon, float f_pole_lat, float f_pole_lon,
                float& f_global_lat, float& f_global_lon);

#endif
