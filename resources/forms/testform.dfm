object TestForm: TTestForm
  Left = 10
  Top = 20
  Width = 400
  Height = 300
  Caption = 'Folivra '#8211' test form'
  Color = clBtnFace
  Menu = MainMenu1
  OldCreateOrder = False
  OnCreate = FormCreate
  OnClose = FormClose
  PixelsPerInch = 96
  TextHeight = 13
  object TopPanel: TPanel
    Left = 0
    Top = 0
    Width = 400
    Height = 41
    Align = alTop
    Caption = 'Top'
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clWindowText
    Font.Height = -11
    Font.Name = 'Arial'
    Font.Style = [fsBold]
    ParentFont = False
    TabOrder = 0
    object OkButton: TButton
      Left = 8
      Top = 8
      Width = 75
      Height = 25
      Caption = 'OK'
      ModalResult = 1
      TabOrder = 0
      OnClick = OkButtonClick
    end
  end
  object ClientPanel: TPanel
    Left = 0
    Top = 41
    Width = 400
    Height = 259
    Align = alClient
    BevelOuter = bvNone
    Caption = ''
    PopupMenu = PaperMenu
    TabOrder = 1
    object SidePanel: TPanel
      Left = 0
      Top = 0
      Width = 150
      Height = 259
      Align = alLeft
      BevelOuter = bvLowered
      BorderWidth = 3
      Caption = ''
      TabOrder = 0
      object Paper: TTestPaper
        Left = 4
        Top = 4
        Width = 142
        Height = 251
        Align = alClient
        TabStop = True
        OnClick = PaperClick
        OnDblClick = PaperDblClick
        OnMouseDown = PaperMouseDown
        OnMouseUp = PaperMouseUp
        OnKeyDown = PaperKeyDown
        OnKeyPress = PaperKeyPress
        OnMouseWheel = PaperMouseWheel
      end
    end
    object InfoLabel: TLabel
      Left = 160
      Top = 8
      Width = 100
      Height = 13
      AutoSize = False
      Caption = 'It''s a label'#13#10 +
        'with two lines'
      Font.Color = clNavy
    end
  end
  object Ticker: TTimer
    Enabled = False
    Interval = 10
    OnTimer = TickerTimer
  end
  object MainMenu1: TMainMenu
    Left = 240
    Top = 100
    object FileMenu: TMenuItem
      Caption = '&File'
      object OpenItem: TMenuItem
        Caption = '&Open...'
        ShortCut = 16463
        OnClick = OpenItemClick
      end
      object SaveItem: TMenuItem
        Caption = '&Save'
        Enabled = False
        ShortCut = 16467
        OnClick = OpenItemClick
      end
    end
  end
  object PaperMenu: TPopupMenu
    Left = 200
    Top = 100
    object ZoomItem: TMenuItem
      Caption = '&Zoom'
      object ZoomInItem: TMenuItem
        Caption = 'Zoom in'
        ShortCut = 16571
        OnClick = ZoomInItemClick
      end
    end
  end
end
