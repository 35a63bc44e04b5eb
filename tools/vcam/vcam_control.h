/* In-process control and inspection of the virtual camera.
 *
 * Tests either link libvexlo-vcam.so directly (then these are ordinary
 * calls) or look the symbols up with dlsym(RTLD_DEFAULT, ...) when the
 * library was brought in with LD_PRELOAD. "camera" is the position of a
 * camera in VEXLO_VCAM_NODES (0 for the first one).
 */
#ifndef VEXLO_VCAM_CONTROL_H
#define VEXLO_VCAM_CONTROL_H

#ifdef __cplusplus
extern "C" {
#endif

/* The camera's tuning registers, by the UVC control that carries them. */
enum vcam_register {
    VCAM_REG_GAIN,           /* ISO index */
    VCAM_REG_BRIGHTNESS,     /* EV code in thirds of a stop */
    VCAM_REG_BACKLIGHT,      /* anti-flicker */
    VCAM_REG_WB_TEMPERATURE, /* 0 = automatic, else kelvin */
    VCAM_REG_HUE,            /* warmness level x 100 */
    VCAM_REG_SATURATION,
    VCAM_REG_CONTRAST,
    VCAM_REG_SHARPNESS,
    VCAM_REG_ROLL,           /* MCE red code */
    VCAM_REG_PAN,            /* MCE green code */
    VCAM_REG_TILT,           /* MCE blue code */
    VCAM_REG_ZOOM,           /* SCE */
    VCAM_REG_GAMMA,          /* flags: bit 7 skin smoothing, bit 6 bright mode */
    VCAM_REG_COUNT
};

/* What the protocol checker counts. */
enum vcam_violation {
    VCAM_V_WRITE_WHILE_CLOSED, /* register write with the selector closed */
    VCAM_V_READ_WHILE_OPEN,    /* GET_CUR asked for by the program during a transaction */
    VCAM_V_TOO_EARLY,          /* written < 100 ms after the opening write (saturation excepted) */
    VCAM_V_NO_REGISTER,        /* write during a transaction to a control that has no register */
    VCAM_V_EXPOSURE_IN_AUTO,   /* exposure time written in Auto or Aperture Priority (stalled) */
    VCAM_V_COUNT
};

int vcam_camera_count(void);
/* Capture node number (N of /dev/videoN) of a camera, -1 if there is none. */
int vcam_node(int camera);

int vcam_register_value(int camera, int reg);
int vcam_selector_open(int camera);
/* Number of focus 249 store commands since load/reset. */
int vcam_store_count(int camera);

/* Sum of all violation kinds, and one kind. */
int vcam_violations(int camera);
int vcam_violation_count(int camera, int kind);
/* GET_CUR requests that uvcvideo itself issues during a transaction (the
 * read-modify-write of PANTILT_ABSOLUTE). Not counted as violations. */
int vcam_driver_reads_in_transaction(int camera);

/* Registers back to the store file (or defaults), selector closed,
 * counters zero. Does not touch open descriptors. */
void vcam_reset(int camera);
/* 1: the camera reports AUTO_UPDATE for its debug read-back controls
 * (default); 0: it does not, and uvcvideo caches them. */
void vcam_set_auto_update(int camera, int on);

/* 1: UVCIOC_CTRL_MAP maps controls of any entity (the camera terminal's
 * roll included), as uvcvideo did before Linux 2.6.37; 0 (default): only
 * extension-unit controls, as uvcvideo does since, so the camera (which has
 * no extension unit) refuses every mapping with ENOENT. */
void vcam_set_map_any_entity(int camera, int on);

/* Hot-plug. Both return 0, or -1 for an unknown camera. */
int vcam_unplug(int camera);
int vcam_replug(int camera);
int vcam_is_plugged(int camera);

/* Control faults for every camera: "ERRNO[:DELAY_MS]" with ERRNO one of
 * EIO, EBUSY, ETIMEDOUT, EPIPE or none (only the delay), or "off". VIDIOC_S_CTRL
 * waits DELAY_MS, then fails with ERRNO (with none it is carried out); with
 * `all` VIDIOC_G_CTRL and VIDIOC_QUERYCTRL do the same. A new fault ends the
 * waits under the old one (they go on under the new one, without its delay).
 * Returns 0, or -1 for a spec it does not understand (nothing changed). */
int vcam_set_ctrl_fault(const char *spec, int all);

/* Frames handed out by DQBUF, and the CPU time spent producing them. */
long vcam_frames_delivered(int camera);
long long vcam_render_cpu_ns(int camera);

/* Frame faults of every camera, "MODE[:EVERY]" (see README.md): 0, or -1
 * when the text is not understood (nothing changes). "none" ends them. */
int vcam_set_frame_fault(const char *spec);
/* Frames spoiled or withheld by a frame fault since load. */
long vcam_frame_faults_injected(int camera);

const char *vcam_register_name(int reg);
const char *vcam_violation_name(int kind);

#ifdef __cplusplus
}
#endif

#endif
