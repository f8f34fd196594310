/**
 * Updates for an application started by the launcher: whether a newer version is offered
 * ({@link com.ferrolan.runtime.update.Updates#check()}), installing it beside the running one
 * while the application goes on ({@link com.ferrolan.runtime.update.Updates#download}), whether
 * an installed version newer than the running one is waiting
 * ({@link com.ferrolan.runtime.update.Updates#isUpdateReady()}), and a restart into it
 * ({@link com.ferrolan.runtime.update.Updates#restart()}).
 *
 * <p>The launcher does the work: it checks the vendor's update folder on every start anyway,
 * and installs what it finds for the next start, so an application that never calls this
 * package still gets its updates. These calls only let an application ask earlier and offer
 * the user a restart. They run the launcher with a command as its last argument and read its
 * answer, one line on standard output; the network, the verification of what is downloaded
 * and its unpacking stay in the launcher. The package needs nothing but the platform.
 */
package com.ferrolan.runtime.update;
