package com.ferrolan.updater.log;

import java.util.TimeZone;

/**
 * Local wall-clock text for the updater's log, from java.util.TimeZone and a calendar
 * computation of its own. java.time's zone rules and formatters would cost a new virtual machine
 * about 15 ms of loading and initialising on every start; the log needs two fixed formats only.
 */
final class LocalClock {
    private static final long DAY_MS = 86_400_000L;

    private final TimeZone zone;

    LocalClock(TimeZone zone) {
        this.zone = zone;
    }

    /** "yyyy-MM-dd-HH-mm-ss" of the local time at `millis`, for file names. */
    String fileStamp(long millis) {
        long[] at = fields(millis);
        StringBuilder text = new StringBuilder(19);
        pad(text, at[0], 4).append('-');
        pad(text, at[1], 2).append('-');
        pad(text, at[2], 2).append('-');
        pad(text, at[3], 2).append('-');
        pad(text, at[4], 2).append('-');
        return pad(text, at[5], 2).toString();
    }

    /** "HH:mm:ss.SSS" of the local time at `millis`, for log lines. */
    String lineTime(long millis) {
        long[] at = fields(millis);
        StringBuilder text = new StringBuilder(12);
        pad(text, at[3], 2).append(':');
        pad(text, at[4], 2).append(':');
        pad(text, at[5], 2).append('.');
        return pad(text, at[6], 3).toString();
    }

    /**
     * Year, month (1 to 12), day, hour, minute, second and millisecond of the local time at
     * `millis`, in the proleptic Gregorian calendar (the civil date of a day count, after
     * Howard Hinnant's days-to-civil algorithm).
     */
    long[] fields(long millis) {
        long local = millis + zone.getOffset(millis);
        long days = Math.floorDiv(local, DAY_MS);
        long inDay = Math.floorMod(local, DAY_MS);
        long shifted = days + 719_468;  // days since 0000-03-01
        long era = Math.floorDiv(shifted, 146_097);
        long dayOfEra = shifted - era * 146_097;
        long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36_524 - dayOfEra / 146_096)
                / 365;
        long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
        long monthFromMarch = (5 * dayOfYear + 2) / 153;
        long day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
        long month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
        long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
        return new long[] {year, month, day, inDay / 3_600_000, inDay / 60_000 % 60,
            inDay / 1000 % 60, inDay % 1000};
    }

    private static StringBuilder pad(StringBuilder text, long value, int width) {
        String digits = Long.toString(value);
        for (int i = digits.length(); i < width; i++) {
            text.append('0');
        }
        return text.append(digits);
    }
}
