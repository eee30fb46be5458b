// winmm of the simulated Win32, a part of win32sim.h: the mixer, the mute of Windows before Vista.
inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MIXERR_INVALLINE = 1024;
inline constexpr MMRESULT MIXERR_INVALCONTROL = 1025;
inline constexpr DWORD MIXER_OBJECTF_MIXER = 0x00000000;
inline constexpr DWORD MIXER_GETLINEINFOF_COMPONENTTYPE = 0x00000003;
inline constexpr DWORD MIXER_GETLINECONTROLSF_ONEBYTYPE = 0x00000002;
inline constexpr DWORD MIXER_SETCONTROLDETAILSF_VALUE = 0x00000000;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_SPEAKERS = 4;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_MUTE = 0x20010002;

struct MIXERLINEA {
  DWORD cbStruct;
  DWORD dwDestination;
  DWORD dwSource;
  DWORD dwLineID;
  DWORD fdwLine;
  DWORD_PTR dwUser;
  DWORD dwComponentType;
  DWORD cChannels;
  DWORD cConnections;
  DWORD cControls;
  CHAR szShortName[16];
  CHAR szName[64];
  struct {
    DWORD dwType;
    DWORD dwDeviceID;
    WORD wMid;
    WORD wPid;
    DWORD vDriverVersion;
    CHAR szPname[32];
  } Target;
};

struct MIXERCONTROLA {
  DWORD cbStruct;
  DWORD dwControlID;
  DWORD dwControlType;
  DWORD fdwControl;
  DWORD cMultipleItems;
  CHAR szShortName[16];
  CHAR szName[64];
  union {
    struct {
      LONG lMinimum;
      LONG lMaximum;
    };
    DWORD dwReserved[6];
  } Bounds;
  union {
    DWORD cSteps;
    DWORD cbCustomData;
    DWORD dwReserved[6];
  } Metrics;
};

struct MIXERLINECONTROLSA {
  DWORD cbStruct;
  DWORD dwLineID;
  union {
    DWORD dwControlID;
    DWORD dwControlType;
  };
  DWORD cControls;
  DWORD cbmxctrl;
  MIXERCONTROLA *pamxctrl;
};

struct MIXERCONTROLDETAILS {
  DWORD cbStruct;
  DWORD dwControlID;
  DWORD cChannels;
  union {
    HWND hwndOwner;
    DWORD cMultipleItems;
  };
  DWORD cbDetails;
  LPVOID paDetails;
};

struct MIXERCONTROLDETAILS_BOOLEAN {
  LONG fValue;
};

MMRESULT mixerGetLineInfoA(HMIXEROBJ mixer, MIXERLINEA *line, DWORD flags);
MMRESULT mixerGetLineControlsA(HMIXEROBJ mixer, MIXERLINECONTROLSA *controls, DWORD flags);
MMRESULT mixerSetControlDetails(HMIXEROBJ mixer, MIXERCONTROLDETAILS *details, DWORD flags);

namespace sim {
struct Mixer {
  bool present = true;
  bool hasSpeakers = true;
  bool hasMute = true;
  MMRESULT setResult = MMSYSERR_NOERROR;
  DWORD speakersLineId = 0xFFFF0000;
  DWORD muteControlId = 7;
  std::vector<MIXERLINEA> lineRequests;
  std::vector<MIXERLINECONTROLSA> controlRequests;
  std::vector<MIXERCONTROLDETAILS> setRequests;
  std::vector<LONG> setValues;
  std::vector<DWORD> flags;
  std::vector<HMIXEROBJ> devices;
};
Mixer &mixer();
} // namespace sim
