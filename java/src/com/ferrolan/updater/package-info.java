/**
 * The updater the launcher starts before every start of the application: {@link
 * com.ferrolan.updater.Updater} puts the run together, {@link
 * com.ferrolan.updater.CompatibilityCheck} is the launcher's test of a system JRE. Their names
 * are in every launch file, so they stay.
 *
 * <p>Its packages, each with one job: {@code installed} (which installed version starts, and the
 * clean-up of old ones), {@code start} (how the application starts), {@code log} (the updater's
 * log). Dependencies point one way: this package on the others, {@code installed} on {@code
 * start}, all of them on {@code log} and on {@code com.ferrolan.runtime}; never back. Everything
 * here until the application's main runs on every start: no lambdas or streams on that path, and
 * no class that it does not need.
 */
package com.ferrolan.updater;
