/* What the firmware's modules share: sensor.c's state, which main.c
 * changes, and the printing helpers. */
struct sensor {
    unsigned id;
    unsigned count;
    const char *name;
    unsigned char gain[4];
};

extern struct sensor sensor;
extern unsigned readings[6];
extern unsigned total;
extern const char *state;

void sensor_sample(unsigned value);
void sensor_report(void);

void uart_puts(const char *text);
void uart_puthex(unsigned value);
/* Print "NAME = 0xVALUE at 0xADDRESS" and "NAME = "TEXT" at 0xADDRESS". */
void show(const char *name, unsigned value, const void *where);
void show_text(const char *name, const char *text, const void *where);
