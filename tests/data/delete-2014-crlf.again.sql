set ansi_nulls on
set quoted_identifier on
go
/****** object:  storedprocedure [dbo].[ sp_msdel_dboregions ] ******/
 
if object_id('dbo.[sp_msdel_dboregions]') is not null 
	drop procedure dbo.[sp_msdel_dboregions]
go
---------------------------
/****** Object:  StoredProcedure [dbo].[ sp_msdel_dboregions ] ******/
 
IF object_id('dbo.[sp_msdel_dboregions]') IS NOT NULL 
	DROP PROCEDURE dbo.[sp_msdel_dboregions]
GO
---------------------------
create procedure dbo.[sp_msdel_dboregions]
		@pkc1 int
as
begin  
	declare @primarykey_text nvarchar(100) = ''
	delete [dbo].[regions] 
	where [id] = @pkc1
/*-d- /*-D- if @@rowcount = 0
    if @@microsoftversion>0x07320000
		begin
			
			set @primarykey_text = @primarykey_text + '[id] = ' + convert(nvarchar(100),@pkc1,1)
			exec sp_msreplraiserror @errorid=20598, @param1=n'[dbo].[regions]', @param2=@primarykey_text, @param3=13234
		end -D-*/
 
  -d-*/
 
 
end  
go
