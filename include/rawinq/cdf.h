// NetCDF output: the schema, the sounding writer and epoch seconds.
#pragma once

// Variable ids of the open file, set by make_uacdf_file.
extern int wmo_stat_id, wban_stat_id, sta_name_id, sta_lat_id, sta_lon_id,
    sta_elev_id, syntime_id, nmand_lev_id, nsigt_lev_id, nsigw_lev_id,
    nmaxw_lev_id, ntrop_lev_id, reltime_id, sndtyp_id;
extern int p_man_id, z_man_id, t_man_id, td_man_id, wd_man_id, ws_man_id;
extern int p_sigt_id, z_sigt_id, t_sigt_id, td_sigt_id, wd_sigt_id,
    ws_sigt_id;
extern int p_sigw_id, z_sigw_id, t_sigw_id, td_sigw_id, wd_sigw_id,
    ws_sigw_id;
extern int p_trop_id, z_trop_id, t_trop_id, td_trop_id, wd_trop_id,
    ws_trop_id;
extern int p_maxw_id, z_maxw_id, t_maxw_id, td_maxw_id, wd_maxw_id,
    ws_maxw_id;

void make_uacdf_file();
void netcdf_format(short indx, long nstat);
void write_uacdf_file(long nstat, short indx);

double time2sec(int iyr, int imo, int idy, int ihr, int imn, int isc);
int leap_yr(int iyr);
