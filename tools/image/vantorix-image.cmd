@echo off
rem Starts the image tool, vantorix-image.jar beside this file, with the
rem Java runtime of JAVA_HOME, or else the java on the PATH.
setlocal
set "VX_FOUND="
set "VX_JAVA=java"
if not defined JAVA_HOME goto path
set "VX_JAVA=%JAVA_HOME%\bin\java.exe"
if exist "%VX_JAVA%" goto run
echo vantorix-image: JAVA_HOME is %JAVA_HOME%, but it has no bin\java.exe: set it to a JDK 17 or later 1>&2
exit /b 1
:path
for %%i in (java.exe) do set "VX_FOUND=%%~$PATH:i"
if defined VX_FOUND goto run
echo vantorix-image: no Java runtime found: install a JDK 17 or later and put its bin directory on the PATH, or set JAVA_HOME 1>&2
exit /b 1
:run
"%VX_JAVA%" -jar "%~dp0vantorix-image.jar" %*
exit /b %ERRORLEVEL%
